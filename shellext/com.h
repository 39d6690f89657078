#pragma once
// The little of COM that a file manager and this extension share: GUIDs,
// result codes, IUnknown and the shell interfaces the extension answers
// (class factory, extension initialisation, context menu, persist file, drop
// target), a data object that hands over a file-drop list, and the menu model
// the context menu fills. Our own definitions, laid out the way the extension's
// host (programs/qvshell) and the library both compile them; nothing here
// depends on a COM runtime.

#include <cstdint>
#include <cstring>

#include "shellext/menu_model.h"

namespace shellext {

using HRESULT = int32_t;
using ULONG = uint32_t;

struct GUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
inline constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
inline constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
inline constexpr HRESULT DV_E_FORMATETC = HRESULT(0x80040064u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = HRESULT(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = HRESULT(0x80040111u);
inline constexpr HRESULT SELFREG_E_CLASS = HRESULT(0x80040201u);

inline constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
// A success code whose low 16 bits carry a count (QueryContextMenu).
inline constexpr HRESULT MakeCountResult(uint32_t count) { return HRESULT(count & 0xFFFFu); }

inline constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IShellExtInit = {0x000214E8, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IContextMenu = {0x000214E4, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IDropTarget = {0x00000122, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IDataObject = {0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// The extension's one class.
inline constexpr GUID CLSID_ShellExtension = {0xA6630968, 0x27DC, 0x8DB8, {0x9B, 0xCE, 0xE1, 0x2B, 0x31, 0x98, 0xA9, 0xB1}};

// Objects are freed by their own Release: no virtual destructor, as in COM.
class IUnknown {
public:
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
public:
    virtual HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) = 0;
    virtual HRESULT LockServer(int lock) = 0;

protected:
    ~IClassFactory() = default;
};

// Clipboard format of a file-drop list (DROPFILES and the names after it).
inline constexpr uint16_t CF_HDROP = 15;
inline constexpr uint32_t DVASPECT_CONTENT = 1;
inline constexpr uint32_t TYMED_HGLOBAL = 1;

struct FORMATETC {
    uint16_t cfFormat;
    const void* ptd;
    uint32_t dwAspect;
    int32_t lindex;
    uint32_t tymed;
};

// A block of bytes handed out by a data object; ReleaseStgMedium gives it back
// to whoever made it.
struct STGMEDIUM {
    uint32_t tymed;
    const uint8_t* data;
    size_t size;
    void (*release)(STGMEDIUM* medium);
    void* owner;
};
inline void ReleaseStgMedium(STGMEDIUM* medium) {
    if (medium && medium->release) medium->release(medium);
    if (medium) *medium = STGMEDIUM{};
}

class IDataObject : public IUnknown {
public:
    virtual HRESULT GetData(const FORMATETC* format, STGMEDIUM* medium) = 0;

protected:
    ~IDataObject() = default;
};

class IShellExtInit : public IUnknown {
public:
    virtual HRESULT Initialize(const void* folderId, IDataObject* dataObject, void* progIdKey) = 0;

protected:
    ~IShellExtInit() = default;
};

// QueryContextMenu flags.
inline constexpr uint32_t CMF_NORMAL = 0;
inline constexpr uint32_t CMF_DEFAULTONLY = 1;
inline constexpr uint32_t CMF_VERBSONLY = 2;
inline constexpr uint32_t CMF_EXPLORE = 4;
inline constexpr uint32_t CMF_NOVERBS = 8;
// GetCommandString types.
inline constexpr uint32_t GCS_VERBA = 0;
inline constexpr uint32_t GCS_HELPTEXTA = 1;
inline constexpr uint32_t GCS_VERBW = 4;
inline constexpr uint32_t GCS_HELPTEXTW = 5;

struct CMINVOKECOMMANDINFO {
    uint32_t cbSize;
    uint32_t fMask;
    // The file manager's window (an X11 id on Linux, 0 for none).
    uintptr_t hwnd;
    // A command offset in the low 16 bits, or a verb string.
    const char* lpVerb;
    const char* lpParameters;
    const char* lpDirectory;
    int32_t nShow;
};

class IContextMenu : public IUnknown {
public:
    virtual HRESULT QueryContextMenu(Menu* menu, uint32_t indexMenu, uint32_t idCmdFirst, uint32_t idCmdLast,
                                     uint32_t flags) = 0;
    virtual HRESULT InvokeCommand(const CMINVOKECOMMANDINFO* info) = 0;
    // GCS_VERBW and GCS_HELPTEXTW write UTF-16 units into name, which holds
    // cchMax of them; at most cchMax / 2 characters of the text are copied.
    virtual HRESULT GetCommandString(uintptr_t idCmd, uint32_t type, uint32_t* reserved, char* name,
                                     uint32_t cchMax) = 0;

protected:
    ~IContextMenu() = default;
};

class IPersist : public IUnknown {
public:
    virtual HRESULT GetClassID(GUID* clsid) = 0;

protected:
    ~IPersist() = default;
};

class IPersistFile : public IPersist {
public:
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(const char16_t* fileName, uint32_t mode) = 0;
    virtual HRESULT Save(const char16_t* fileName, int remember) = 0;
    virtual HRESULT SaveCompleted(const char16_t* fileName) = 0;
    virtual HRESULT GetCurFile(char16_t** fileName) = 0;

protected:
    ~IPersistFile() = default;
};

struct POINTL {
    int32_t x;
    int32_t y;
};
inline constexpr uint32_t DROPEFFECT_NONE = 0;
inline constexpr uint32_t DROPEFFECT_COPY = 1;

class IDropTarget : public IUnknown {
public:
    virtual HRESULT DragEnter(IDataObject* dataObject, uint32_t keys, POINTL point, uint32_t* effect) = 0;
    virtual HRESULT DragOver(uint32_t keys, POINTL point, uint32_t* effect) = 0;
    virtual HRESULT DragLeave() = 0;
    virtual HRESULT Drop(IDataObject* dataObject, uint32_t keys, POINTL point, uint32_t* effect) = 0;

protected:
    ~IDropTarget() = default;
};

// The four exports, as the host finds them with dlsym.
using DllGetClassObjectFn = HRESULT (*)(const GUID* clsid, const GUID* iid, void** object);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

}  // namespace shellext
