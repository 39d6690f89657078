#include "window/frame/command_routes.h"

#include <map>
#include <vector>

namespace app::ui {

namespace {

struct Range {
    uint32_t first;
    uint32_t last;
    CommandGroup group;
};

using G = CommandGroup;

// The frame's command table, by id ranges.
constexpr Range kRanges[] = {
    {33265, 33267, G::Frame}, {32836, 32836, G::Frame}, {33206, 33206, G::Frame}, {33254, 33254, G::Frame},
    {33360, 33360, G::Frame}, {32846, 32846, G::Frame}, {32838, 32838, G::Frame}, {32849, 32850, G::Frame},
    {32845, 32845, G::ArchiveProperties}, {32841, 32844, G::RecentFiles}, {57665, 57665, G::Frame},
    // View menu, navigation, history, language
    {59392, 59392, G::Frame}, {32848, 32848, G::Frame}, {59393, 59393, G::Frame},
    {32776, 32783, G::Views}, {33214, 33217, G::Views}, {32853, 32854, G::Views}, {33221, 33222, G::Views},
    {32772, 32774, G::Views}, {32815, 32822, G::Views}, {32831, 32831, G::Views}, {33146, 33146, G::Views},
    {32813, 32813, G::Views}, {33153, 33202, G::Frame},
    {32909, 32909, G::ItemView}, {33223, 33223, G::ItemView}, {32910, 32910, G::ItemView},
    {32790, 32790, G::ItemView}, {32917, 32917, G::ItemView}, {33277, 33282, G::ItemView},
    {32861, 32861, G::Extraction}, {33218, 33218, G::Extraction}, {33258, 33258, G::Extraction},
    {32956, 32956, G::Clipboard}, {33219, 33219, G::Clipboard}, {33212, 33212, G::Clipboard},
    {32957, 32957, G::Clipboard}, {33220, 33220, G::Clipboard}, {33225, 33225, G::Clipboard},
    {32860, 32860, G::Editing}, {33211, 33211, G::Editing}, {33210, 33210, G::Editing},
    {33213, 33213, G::Editing}, {32915, 32915, G::Editing}, {32862, 32862, G::Editing},
    {33224, 33224, G::Editing}, {33259, 33259, G::Editing}, {32868, 32868, G::Editing},
    {32916, 32916, G::Editing},
    {33134, 33145, G::Player}, {33148, 33151, G::Player},
    {32883, 32883, G::VirtualDrive}, {33067, 33089, G::VirtualDrive}, {33099, 33121, G::VirtualDrive},
    {32937, 32937, G::VirtualDrive}, {33034, 33057, G::VirtualDrive}, {32927, 32928, G::VirtualDrive},
    {33276, 33276, G::VirtualDrive},
    {33290, 33290, G::Tools}, {33352, 33355, G::Tools}, {33293, 33295, G::Tools}, {32964, 32964, G::Tools},
    {57670, 57670, G::Frame}, {33298, 33298, G::Frame}, {33300, 33350, G::Frame}, {33351, 33351, G::Frame},
    {32907, 32907, G::Frame}, {33268, 33268, G::Frame},
    {57664, 57664, G::About},
    {33147, 33147, G::NoAction}, {33208, 33208, G::NoAction}, {33240, 33240, G::NoAction},
    {33283, 33283, G::NoAction}, {33285, 33286, G::NoAction}, {32908, 32908, G::NoAction},
};

std::map<CommandGroup, CommandHandler>& Handlers() {
    static std::map<CommandGroup, CommandHandler> handlers;
    return handlers;
}

}  // namespace

CommandGroup GroupOfCommand(uint32_t id) {
    for (const Range& range : kRanges)
        if (id >= range.first && id <= range.last) return range.group;
    return CommandGroup::None;
}

const std::vector<uint32_t>& FrameCommandIds() {
    static const std::vector<uint32_t> ids = [] {
        std::vector<uint32_t> all;
        for (const Range& range : kRanges)
            for (uint32_t id = range.first; id <= range.last; ++id) all.push_back(id);
        return all;
    }();
    return ids;
}

void InstallCommandHandler(CommandGroup group, CommandHandler handler) {
    if (group == CommandGroup::Frame || group == CommandGroup::None || group == CommandGroup::NoAction) return;
    if (!handler.run) Handlers().erase(group);
    else Handlers()[group] = std::move(handler);
}

const CommandHandler* HandlerOfGroup(CommandGroup group) {
    auto found = Handlers().find(group);
    return found == Handlers().end() ? nullptr : &found->second;
}

}  // namespace app::ui
