#pragma once
// What the writer tests share: a recording software drive behind the command
// layer, the drive services (so the command set's own log lines arrive), a
// face that records the burn log, and helpers that read the drive's log.

#include <algorithm>
#include <string>

#include "foundation/optical_services.h"
#include "optical/drive/drive_services.h"
#include "soft_drive/soft_drive_fixture.h"
#include "tests/optical/burn/burn_test_support.h"

namespace burntest {

struct WriterRig {
    softdrive::ScopedSoftDrive drive;
    optical::DriveServices services;
    foundation::ScopedServices<foundation::SetOpticalServices> installed{&services};
    ScopedFace log;

    platform::FileHandle h() { return drive.Handle(); }
    bool Load(const std::string& manifest) { return drive.Load(manifest); }
    size_t Writes() const { return drive.drive.Count(0x2A); }
    // CDB byte `at` of every logged command with this opcode.
    std::vector<int> Field(uint8_t opcode, size_t at) {
        std::vector<int> out;
        for (const softdrive::LoggedCommand& c : drive.drive.Log())
            if (c.cdb[0] == opcode && at < c.cdb.size()) out.push_back(c.cdb[at]);
        return out;
    }
    // The position of the first command with this opcode in the log; -1 none.
    long First(uint8_t opcode) {
        auto& log = drive.drive.Log();
        auto it = std::find_if(log.begin(), log.end(), [&](const softdrive::LoggedCommand& c) { return c.cdb[0] == opcode; });
        return it == log.end() ? -1 : long(it - log.begin());
    }
    std::string Rows() { return platform::Utf16ToUtf8(JoinRows()); }

private:
    std::u16string JoinRows() {
        std::u16string all;
        for (const auto& c : log.face.Calls()) all += c.text + u"\n";
        return all;
    }
};

}  // namespace burntest
