#pragma once
// Automation of the main window by another process (a test driver or the
// file-manager integration): the typed requests and the path hand-over, over a
// per-user local socket in the runtime folder ("frame-<pid>", owner only).
//
// Wire form, little-endian, one request after another on a connection:
//   {u32 0x467, u32 type, u32 value}            answered by {u32 result}
//   {u32 0x4A, u32 kind, u32 bytes, bytes...}   a path as UTF-16LE (kind 1),
//                                               answered by {u32 1 taken / 0 refused}
// Anything else closes the connection.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace app::ui {

inline constexpr uint32_t kAutomationMessage = 0x467;
inline constexpr uint32_t kCopyDataMessage = 0x4A;
inline constexpr uint32_t kCopyDataPath = 1;
// Longest path handed over, in UTF-16 units.
inline constexpr uint32_t kMaxHandedUnits = 32768;

// The typed request on the current document and the automation globals.
uint32_t OnAutomation(uint32_t type, uint32_t value);

// A handed-over path: at most the sent length, up to the first NUL; an odd
// byte count or more than 32 K units is refused; a lone surrogate becomes
// U+FFFD.
std::optional<std::u16string> DecodeHandedPath(std::span<const uint8_t> bytes);
// Stores a handed-over path as g_AutomationPath (kind 1 only). True when taken.
bool OnCopyData(uint32_t kind, std::span<const uint8_t> bytes);

// The socket's path for a process id, in the user's runtime folder.
QString AutomationSocketPath(qint64 pid);

class AutomationChannel : public QObject {
    Q_OBJECT
public:
    explicit AutomationChannel(QObject* parent = nullptr);
    ~AutomationChannel() override;
    // Listens at AutomationSocketPath(own pid); false when it cannot.
    bool Listen();
    QString Path() const;
    void Close();

private:
    void Accept();
    void Serve(QLocalSocket* socket);

    QLocalServer* server_ = nullptr;
};

}  // namespace app::ui
