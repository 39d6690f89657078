#include "window/frame/automation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>

#include "app/startup_state.h"
#include "foundation/byte_order.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"

namespace app::ui {

namespace {

constexpr char kStoredPassword[] = "708315";
constexpr int64_t kOneGiB = 0x40000000;
constexpr int64_t kHundredMiB = 0x6400000;
constexpr int64_t kTenMiB = 0xA00000;
constexpr int64_t kOneMiB = 0x100000;
constexpr uint32_t kMaxCompressionLevel = 2;
constexpr uint32_t kMaxJolietLevel = 3;
// A request never needs more; a peer that sends more is cut off.
constexpr qsizetype kMaxPending = 12 + 2 * kMaxHandedUnits + 16;

uint32_t ReadU32(const QByteArray& bytes, qsizetype at) {
    return foundation::ReadLE32(reinterpret_cast<const uint8_t*>(bytes.constData()) + at);
}

QByteArray U32Bytes(uint32_t value) {
    QByteArray out(4, '\0');
    foundation::WriteLE32(reinterpret_cast<uint8_t*>(out.data()), value);
    return out;
}

}  // namespace

uint32_t OnAutomation(uint32_t type, uint32_t value) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    switch (type) {
    case 1: return static_cast<uint32_t>(g_AutomationDone) | kReadyMark;
    case 2: g_AutomationDone = static_cast<int32_t>(value & 1); return 0;
    case 8: return g_ReadyCounter;
    default: break;
    }
    // The rest change the document: before the start-up action has made one
    // there is none, and nothing is changed.
    if (!ctx) return 0;
    switch (type) {
    case 3:
        ctx->outputPassword.fill(0);
        std::memcpy(ctx->outputPassword.data(), kStoredPassword, sizeof kStoredPassword - 1);
        ctx->passwordEnabled = 1;
        // The image writers encrypt with the write copy.
        ctx->writePassword = ctx->outputPassword;
        ctx->encryptionWanted = 1;
        break;
    case 4: {
        image::TreeStatistics stats;
        if (ctx->rootFolder) image::GetTreeStatistics(ctx, ctx->rootFolder, &stats, true);
        const int64_t total = stats.totalBytes;
        ctx->volumeSize = total > kOneGiB ? kHundredMiB : total > kHundredMiB ? kTenMiB : kOneMiB;
        ctx->splitOutput = 1;
        break;
    }
    // Values from another process are taken only within their ranges.
    case 5:
        if (value <= kMaxCompressionLevel) ctx->compressionLevel = static_cast<int32_t>(value);
        break;
    case 6:
        if (value <= 1) ctx->udfFlag = static_cast<int32_t>(value);
        break;
    case 7:
        if (value <= kMaxJolietLevel) ctx->jolietLevel = static_cast<int32_t>(value);
        break;
    default: break;
    }
    return 0;
}

std::optional<std::u16string> DecodeHandedPath(std::span<const uint8_t> bytes) {
    if (bytes.size() % 2 != 0 || bytes.size() / 2 > kMaxHandedUnits) return std::nullopt;
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        if (unit == 0) break;
        units.push_back(unit);
    }
    std::u16string result;
    result.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            result.push_back(unit);
            result.push_back(units[++i]);
        } else if (high || low) {
            result.push_back(u'\uFFFD');
        } else {
            result.push_back(unit);
        }
    }
    return result;
}

bool OnCopyData(uint32_t kind, std::span<const uint8_t> bytes) {
    if (kind != kCopyDataPath) return false;
    std::optional<std::u16string> path = DecodeHandedPath(bytes);
    if (!path) return false;
    g_AutomationPath = std::move(*path);
    return true;
}

QString AutomationSocketPath(qint64 pid) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("quendravine-frame-%1").arg(pid));
}

AutomationChannel::AutomationChannel(QObject* parent) : QObject(parent) {}

AutomationChannel::~AutomationChannel() { Close(); }

bool AutomationChannel::Listen() {
    Close();
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = AutomationSocketPath(QCoreApplication::applicationPid());
    QLocalServer::removeServer(path);   // a stale socket of an ended process with our id
    if (!server_->listen(path)) {
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &AutomationChannel::Accept);
    return true;
}

QString AutomationChannel::Path() const { return server_ ? server_->fullServerName() : QString(); }

void AutomationChannel::Close() {
    if (!server_) return;
    server_->close();
    delete server_;
    server_ = nullptr;
}

void AutomationChannel::Accept() {
    while (QLocalSocket* socket = server_ ? server_->nextPendingConnection() : nullptr) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Serve(socket); });
    }
}

void AutomationChannel::Serve(QLocalSocket* socket) {
    QByteArray pending = socket->property("pending").toByteArray();
    pending += socket->readAll();
    while (pending.size() >= 4) {
        const uint32_t message = ReadU32(pending, 0);
        if (message == kAutomationMessage) {
            if (pending.size() < 12) break;
            socket->write(U32Bytes(OnAutomation(ReadU32(pending, 4), ReadU32(pending, 8))));
            pending.remove(0, 12);
        } else if (message == kCopyDataMessage) {
            if (pending.size() < 12) break;
            const uint32_t kind = ReadU32(pending, 4);
            const uint32_t bytes = ReadU32(pending, 8);
            if (bytes > 2 * kMaxHandedUnits) {
                socket->abort();
                return;
            }
            if (pending.size() < 12 + static_cast<qsizetype>(bytes)) break;
            const auto* data = reinterpret_cast<const uint8_t*>(pending.constData()) + 12;
            socket->write(U32Bytes(OnCopyData(kind, std::span<const uint8_t>(data, bytes)) ? 1 : 0));
            pending.remove(0, 12 + static_cast<qsizetype>(bytes));
        } else {
            socket->abort();
            return;
        }
    }
    if (pending.size() > kMaxPending) {
        socket->abort();
        return;
    }
    socket->setProperty("pending", pending);
}

}  // namespace app::ui
