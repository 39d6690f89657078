#include "window/frame/main_menu.h"

#include <array>

namespace app::ui {

namespace {

using Node = foundation::MenuTemplateNode;

Node Command(std::u16string_view text, uint32_t id) { return Node{std::u16string(text), id, false, {}}; }
Node Separator() { return Node{}; }
Node Popup(std::u16string_view text, std::vector<Node> children) {
    return Node{std::u16string(text), 0, true, std::move(children)};
}

Node BuildMainMenu() {
    Node root;
    root.popup = true;
    root.children = {
        Popup(u"&File",
              {Popup(u"&New", {Command(u"&Zip Archive", 33265), Command(u"&7z Archive", 33266),
                               Command(u"&Mountable Archive", 33267), Separator(),
                               Command(u"&ISO Image File", 33206), Command(u"&Extended Disc Image File", 33360)}),
               Command(u"&Open...\tCtrl+O", 32846), Command(u"&Close", 32838), Separator(),
               Command(u"&Save", 32849), Command(u"Save &As...", 32850), Separator(),
               Command(u"Archive &Properties...", 32845), Separator(),
               Popup(u"Recent &Files", {Command(u"1", 32841), Command(u"2", 32842), Command(u"3", 32843),
                                         Command(u"4", 32844)}),
               Separator(), Command(u"E&xit", 57665)}),
        Popup(u"&View",
              {Command(u"&Tool Bar", 59392), Command(u"&Explorer Bar", 32848), Command(u"&Status Bar", 59393),
               Separator(), Command(u"Language", 33203), Separator(), Command(u"Lar&ge Icon", 32776),
               Command(u"S&mall Icon", 32777), Command(u"&List", 32778), Command(u"&Detail", 32779), Separator(),
               Popup(u"Arrange &Icons", {Command(u"By &Name", 32780), Command(u"By &Type", 32782),
                                         Command(u"By &Size", 32781), Command(u"By &Date", 32783)}),
               Separator(), Command(u"Select A&ll\tCtrl+A", 32853), Command(u"&Invert Selection", 32854),
               Separator(), Command(u"&Back", 32772), Command(u"&Forward", 32773), Command(u"&Up", 32774)}),
        Popup(u"&Action",
              {Command(u"&View", 32909), Command(u"View wit&h...", 32910),
               Command(u"View with Default &Viewer", 32790), Separator(), Command(u"E&xtract...", 32861),
               Command(u"I&nformation...", 32917), Separator(), Command(u"&Copy to Clipboard\tCtrl+C", 32956),
               Command(u"Cu&t to Clipboard", 33212), Command(u"&Paste from Clipboard\tCtrl+V", 32957),
               Separator(), Command(u"&Add Files and Folders...", 32860), Command(u"Add &Music File(s)...", 33210),
               Command(u"&Add Video Files...", 33213), Command(u"&New Folder", 32915),
               Command(u"&Delete...", 32862), Command(u"&Rename", 32868), Command(u"Change &Label", 32916),
               Separator(), Command(u"Add Password...", 33278), Command(u"Remove Password...", 33279)}),
        Popup(u"&Tools",
              {Command(u"Burn Disc Image File...", 33290),
               Command(u"Burn Audio CD...", 33352), Command(u"Burn Data Disc -- CD, DVD, BD...", 33353),
               Command(u"Make Image File from Disc (CD, DVD, BD)...", 33354), Separator(),
               Command(u"Compress Disc Image File...", 33293), Command(u"Decompress XDI File...", 33294),
               Command(u"Convert Disc Image File...", 33295), Separator(), Command(u"Virtual Drive", 33260)}),
        Popup(u"&Options", {Command(u"&Configuration...", 32964)}),
        Popup(u"&Help",
              {Command(u"Help &Contents", 57670), Command(u"&Online Help", 33298),
               Command(u"How to...", kHowToPlaceholder), Separator(), Command(u"Product Support", 33351),
               Command(u"&Quendravine Homepage", 32907), Separator(),
               Command(u"&About Quendravine...", 57664)}),
    };
    return root;
}

constexpr std::array<HowToRow, kHowToRows> kHowTo = {{
    {u"How to create ZIP file using shell context menu?", u"create-zip-file-using-context-menu.htm"},
    {u"How to create 7Z file?", u"create-7z-file.htm"},
    {u"How to create ISO file?", u"create-iso-file.htm"},
    {u"How to create MZP file?", u"create-mzp-file.htm"},
    {u"How to create an encrypted or segmented archive?", u"create-encrypted-segmented-file.htm"},
    {u"", u""},
    {u"How to extract ZIP, RAR, 7Z, and other archive?", u"extract-zip-file.htm"},
    {u"How to extract ISO file and other disc image file?", u"extract-iso-file.htm"},
    {u"", u""},
    {u"How to burn ISO file and other disc image file?", u"burn-iso-file.htm"},
    {u"How to make ISO file from CD, DVD, or Blu-ray disc?", u"make-iso-file.htm"},
    {u"", u""},
    {u"How to mount ISO file and other dis image file as virtual drive?", u"mount-iso-file.htm"},
    {u"How to mount ZIP, RAR, 7Z, and other archive as virtual drive?", u"mount-zip-file.htm"},
    {u"How to change number of virtual drives?", u"set-drive-count.htm"},
    {u"How to change virtual drive letter?", u"change-drive-letter.htm"},
    {u"", u""},
    {u"how to convert DMG file to iso format?", u"convert-dmg-to-iso.htm"},
    {u"how to convert NRG, BIN file and other disc image file to iso format?", u"convert-image-to-iso.htm"},
    {u"how to compress ISO file to XDI file?", u"compress-iso.htm"},
    {u"how to decompress XDI file to ISO format?", u"decompress-xdi.htm"},
    {u"", u""},
    {u"Supported file formats...", u"supported-formats.htm"},
    {u"Supported operating systems...", u"supported-os.htm"},
    {u"", u""},
    {u"More...", u"index.htm"},
}};

}  // namespace

const foundation::MenuTemplateNode& MainMenuTemplate() {
    static const Node root = BuildMainMenu();
    return root;
}

const HowToRow& HowTo(int row) { return kHowTo[static_cast<size_t>(row)]; }

}  // namespace app::ui
