#include "foundation/language_menu.h"

#include "foundation/language.h"
#include "foundation/language_texts.h"
#include "foundation/operation_status.h"
#include "foundation/strings.h"
#include "platform/format.h"

#include <map>
#include <vector>

namespace foundation {

namespace {

struct PendingLevel {
    TranslatableMenu* menu;
    std::u16string key;
};

std::u16string_view WithoutLeadingBlanks(std::u16string_view text) {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    return text;
}

}  // namespace

void TranslateMenuFromFile(TranslatableMenu& root, const CLangFile& file, uint32_t menuId) {
    // Menus are walked with a work list, level by level.
    std::vector<PendingLevel> pending{{&root, u""}};
    while (!pending.empty()) {
        PendingLevel level = std::move(pending.back());
        pending.pop_back();
        TranslatableMenu& menu = *level.menu;
        int count = menu.ItemCount();
        for (int position = 0; position < count; ++position) {
            if (menu.IsPopup(position)) {
                std::u16string key = PopupKey(level.key, static_cast<uint32_t>(position));
                std::u16string text;
                if (const std::u16string* entry = FindPopupText(file, menuId, key)) text = *entry;
                if (key == u"|0|0" && position + 1 < count && menu.CommandId(position + 1) == kCommandNewFile) {
                    if (text.empty()) text = LangString(kStrNew);
                    text = std::u16string(WithoutLeadingBlanks(text));
                }
                if (!text.empty()) menu.SetText(position, text);
                bool recentFiles =
                    position + 2 < count && menu.CommandId(position + 2) == kCommandAfterRecent;
                TranslatableMenu* sub = menu.Popup(position);
                if (sub && !recentFiles) pending.push_back({sub, std::move(key)});
                continue;
            }
            uint32_t command = menu.CommandId(position);
            if (command == 0) continue;
            std::u16string text;
            if (auto shared = GetSharedCommandText(command))
                text = std::move(*shared);
            else if (const std::u16string* entry = FindControlText(file, menuId, command))
                text = *entry;
            if (!text.empty()) menu.SetText(position, text);
        }
    }
}

void RestoreMenuFromTemplate(TranslatableMenu& root, const MenuTemplateNode& templateRoot) {
    std::map<uint32_t, const std::u16string*> commandTexts;
    std::vector<const MenuTemplateNode*> nodes{&templateRoot};
    while (!nodes.empty()) {
        const MenuTemplateNode* node = nodes.back();
        nodes.pop_back();
        if (node->commandId != 0) commandTexts.emplace(node->commandId, &node->text);
        for (const MenuTemplateNode& child : node->children) nodes.push_back(&child);
    }
    struct Level {
        TranslatableMenu* menu;
        const MenuTemplateNode* node;
    };
    std::vector<Level> pending{{&root, &templateRoot}};
    while (!pending.empty()) {
        Level level = pending.back();
        pending.pop_back();
        TranslatableMenu& menu = *level.menu;
        for (int position = 0; position < menu.ItemCount(); ++position) {
            if (menu.IsPopup(position)) {
                size_t index = static_cast<size_t>(position);
                if (index >= level.node->children.size() || !level.node->children[index].popup) continue;
                const MenuTemplateNode& child = level.node->children[index];
                menu.SetText(position, child.text);
                if (TranslatableMenu* sub = menu.Popup(position)) pending.push_back({sub, &child});
                continue;
            }
            uint32_t command = menu.CommandId(position);
            if (command == 0 || IsGeneratedMenuCommand(command)) continue;
            auto it = commandTexts.find(command);
            if (it != commandTexts.end()) menu.SetText(position, MenuItemText(command, *it->second));
        }
    }
}

void ApplyMenuLanguage(TranslatableMenu& menu, uint32_t menuId, const MenuTemplateNode& root,
                       bool onlyWhenNotEnglish) {
    std::shared_ptr<const CLangFile> file = CurrentLangFile();
    if (file) {
        TranslateMenuFromFile(menu, *file, menuId);
    } else if (!onlyWhenNotEnglish) {
        RestoreMenuFromTemplate(menu, root);
    }
}

std::optional<std::u16string> TranslatedControlText(const CLangFile& file, uint32_t templateId,
                                                    uint32_t controlId, std::u16string_view currentText) {
    if (currentText == u"...") return std::nullopt;
    if (controlId == 1 && currentText == u"OK") return LangString(kStrOk);
    if (controlId == 2 && currentText == u"Cancel") return LangString(kStrCancel);
    const std::u16string* entry = FindControlText(file, templateId, controlId);
    if (!entry || entry->empty()) return std::nullopt;
    return *entry;
}

std::optional<std::u16string> LaunchedModeCaption() {
    if (LaunchedVirtualDriveMode) return LangString(kStrVirtualDriveCaption);
    if (LaunchedMountMode) return std::u16string(u"Quendravine");
    return std::nullopt;
}

std::u16string MenuItemText(uint32_t commandId, std::u16string_view givenText) {
    if (auto shared = GetSharedCommandText(commandId)) return *shared;
    return std::u16string(givenText);
}

std::u16string LanguageMenuText(std::u16string_view name, std::u16string_view nativeName) {
    return platform::Format(u"%s (%s)", name, nativeName);
}

uint32_t LanguageMenuCommand(int rowIndex) {
    return kCommandFirstLanguage + static_cast<uint32_t>(rowIndex);
}

}  // namespace foundation
