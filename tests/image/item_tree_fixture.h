#pragma once
// Small trees for the item-tree tests: a document with a root folder, and
// helpers that add files and folders the way the readers do.

#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/scripted_prompts.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/open_reader_services.h"
#include "tests/support/test_support.h"

namespace treetest {

inline image::ImageItem* AddFile(image::ImageFolder* folder, std::u16string_view name, int64_t size = 0,
                                 uint32_t sector = 0) {
    image::ImageItem* item = image::NewItem();
    item->name = name;
    item->size = size;
    item->startSector = sector;
    image::LinkItemAtHead(folder, item);
    return item;
}

inline image::ImageFolder* AddFolder(image::ImageFolder* parent, std::u16string_view name) {
    return image::MakeFolderNode(nullptr, parent, name);
}

// The image core's readers with the settings a tree test needs fixed.
class FixedSettings final : public image::OpenReaderStandIn {
public:
    int32_t CompressionLevel() override { return 0; }
    int64_t FixedTime() override { return 1000000000; }
};

// A document with an empty root, no settings store needed, and scripted
// prompts and boxes.
class TreeDocument {
public:
    TreeDocument() : scopedUi_(&ui_), scopedPrompts_(&prompts_), scopedSettings_(&settings_) {
        ::setenv("QV_CONFIG_DIR", configDir_.path().c_str(), 1);
        ctx_.reset(image::NewIsoDocument());
        foundation::StandingOverwriteAnswer = -1;
        foundation::OperationStatus = 0;
    }
    ~TreeDocument() {
        ctx_.reset();
        foundation::StandingOverwriteAnswer = -1;
        foundation::OperationStatus = 0;
    }
    image::ImageContext* ctx() { return ctx_.get(); }
    image::ImageFolder* root() { return ctx_->rootFolder; }
    foundation::ScriptedPrompts& prompts() { return prompts_; }
    foundation::ScriptedUiServices& ui() { return ui_; }

private:
    qvtest::TempDir configDir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi_;
    foundation::ScriptedPrompts prompts_;
    foundation::ScopedServices<foundation::SetPromptServices> scopedPrompts_;
    FixedSettings settings_;
    foundation::ScopedServices<image::SetOpenReaderServices> scopedSettings_;
    image::DocumentPtr ctx_;
};

}  // namespace treetest
