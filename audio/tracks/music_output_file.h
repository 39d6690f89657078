#pragma once
// A music file being written: a new temporary file beside the target, which the
// writers open by name, renamed over the target only when it is complete. The
// rename replaces whatever stands at the target name (a planted symbolic link
// is replaced, never followed); a failed or abandoned file leaves the old one
// as it was and nothing behind.

#include <string>
#include <string_view>

namespace audio {

class MusicOutputFile {
public:
    MusicOutputFile() = default;
    ~MusicOutputFile();   // an uncommitted temporary is removed
    MusicOutputFile(const MusicOutputFile&) = delete;
    MusicOutputFile& operator=(const MusicOutputFile&) = delete;

    // Makes the temporary in the target's folder, creating missing folders
    // once when the first try finds none. False with the last error set.
    bool Begin(std::u16string_view target);
    const std::u16string& TemporaryPath() const { return temporary_; }
    const std::u16string& Target() const { return target_; }

    // Renames the temporary over the target. False with the last error set
    // (the temporary is then removed).
    bool Commit();
    void Abandon();

private:
    std::u16string target_;
    std::u16string temporary_;
};

}  // namespace audio
