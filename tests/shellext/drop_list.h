#pragma once
// A data object holding a file-drop list, as a file manager hands the
// selection to the extension; it counts the references the extension holds.

#include <string>
#include <vector>

#include "shellext/com.h"
#include "shellext/drop_files.h"

namespace qvtest {

class DropList final : public shellext::IDataObject {
public:
    explicit DropList(const std::vector<std::u16string>& names) : bytes_(shellext::BuildDropFiles(names)) {}
    explicit DropList(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    shellext::HRESULT QueryInterface(const shellext::GUID&, void** object) override {
        *object = nullptr;
        return shellext::E_NOINTERFACE;
    }
    shellext::ULONG AddRef() override { return ++references_; }
    shellext::ULONG Release() override { return --references_; }
    shellext::HRESULT GetData(const shellext::FORMATETC* format, shellext::STGMEDIUM* medium) override {
        if (format->cfFormat != shellext::CF_HDROP) return shellext::DV_E_FORMATETC;
        *medium = shellext::STGMEDIUM{shellext::TYMED_HGLOBAL, bytes_.data(), bytes_.size(), nullptr, nullptr};
        return shellext::S_OK;
    }
    shellext::ULONG References() const { return references_; }

private:
    std::vector<uint8_t> bytes_;
    shellext::ULONG references_ = 1;
};

}  // namespace qvtest
