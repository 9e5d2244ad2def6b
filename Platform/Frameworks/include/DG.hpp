// Host dialogs: palettes, modeless and modal dialogs, items, observers and events.
// Where host versions differ (resource module passed or current, tooltip text type),
// this header presents the API of the version being built.
#pragma once

#include "GS.hpp"
#include "IO.hpp"

#include <string>
#include <vector>

#ifndef KORDELA_HOST_VERSION
#error "KORDELA_HOST_VERSION must be defined"
#endif

namespace DG {

class Panel;
class Item;
class ItemObserver;

struct Point {
    short x = 0;
    short y = 0;
    Point() = default;
    Point(short h, short v) : x(h), y(v) {}
    short GetX() const { return x; }
    short GetY() const { return y; }
    void Set(short h, short v)
    {
        x = h;
        y = v;
    }
};

// An icon of a resource module, or one made from an image file.
class Icon {
public:
    Icon() = default;
#if KORDELA_HOST_VERSION >= 18
    Icon(GSResModule module, short iconId);
#else
    explicit Icon(short iconId);  // from the current resource module
#endif
    static Icon FromImageFile(const std::string& path);
    // An icon of a native image (an NSImage) that the window system made; null gives an
    // empty icon. The icon keeps what it needs, so the image may go afterwards.
    static Icon FromNativeImage(const void* nativeImage);

    bool IsEmpty() const
    {
        return iconId_ == 0 && imageFile_.empty() && image_.empty();
    }
    short GetResourceId() const
    {
        return iconId_;
    }
    const std::string& GetImageFile() const
    {
        return imageFile_;
    }
    std::string Describe() const;

private:
    GSResModule module_ = 0;
    short iconId_ = 0;
    std::string imageFile_;
    std::string image_;  // "WxH" of a native image
};

class PanelEvent {
public:
    explicit PanelEvent(Panel* source) : source_(source) {}
    Panel* GetSource() const { return source_; }

private:
    Panel* source_;
};

class PanelOpenEvent : public PanelEvent {
    using PanelEvent::PanelEvent;
};
class PanelCloseEvent : public PanelEvent {
    using PanelEvent::PanelEvent;
};
class PanelCloseRequestEvent : public PanelEvent {
    using PanelEvent::PanelEvent;
};

class PanelResizeEvent : public PanelEvent {
public:
    PanelResizeEvent(Panel* source, bool userResize, short horizontalChange, short verticalChange)
        : PanelEvent(source), userResize_(userResize), horizontal_(horizontalChange), vertical_(verticalChange)
    {}
    bool IsUserResize() const { return userResize_; }
    short GetHorizontalChange() const { return horizontal_; }
    short GetVerticalChange() const { return vertical_; }

private:
    bool userResize_;
    short horizontal_;
    short vertical_;
};

class ItemEvent {
public:
    explicit ItemEvent(Item* source) : source_(source) {}
    Item* GetSource() const { return source_; }

private:
    Item* source_;
};

class ButtonClickEvent : public ItemEvent {
    using ItemEvent::ItemEvent;
};
class ItemHelpEvent : public ItemEvent {
    using ItemEvent::ItemEvent;
};

class PanelObserver {
public:
    virtual ~PanelObserver();
    virtual void PanelOpened(const PanelOpenEvent&) {}
    virtual void PanelClosed(const PanelCloseEvent&) {}
    virtual void PanelCloseRequested(const PanelCloseRequestEvent&, bool*) {}
    virtual void PanelResizing(const PanelResizeEvent&, Point*) {}
    virtual void PanelResized(const PanelResizeEvent&) {}
    virtual void PanelResizeExited(const PanelResizeEvent&) {}
};

#if KORDELA_HOST_VERSION == 15
using ToolTipText = GS::String;
#else
using ToolTipText = GS::UniString;
#endif

class ItemObserver {
public:
    virtual ~ItemObserver();
    virtual void ItemToolTipRequested(const ItemHelpEvent&, ToolTipText*) {}
};

class ButtonItemObserver : public ItemObserver {
public:
    virtual void ButtonClicked(const ButtonClickEvent&) {}
};

// Lets one observer watch every item of a panel.
class CompoundItemObserver {
public:
    virtual ~CompoundItemObserver();
    void AttachToAllItems(const Panel& panel);
    void DetachFromAllItems(const Panel& panel);
};

// The base of everything that lives on a panel, bound to one item number of it.
class Item {
public:
    Item(const Panel& panel, short item);
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;
    virtual ~Item();

    short GetId() const { return item_; }
    Panel* GetPanel() const { return panel_; }

    short GetWidth() const;
    short GetHeight() const;
    short GetX() const;
    short GetY() const;
    void SetPosition(short x, short y);
    void SetPosition(const Point& point) { SetPosition(point.x, point.y); }
    void SetSize(short width, short height);
    void SetWidth(short width) { SetSize(width, GetHeight()); }
    void SetHeight(short height) { SetSize(GetWidth(), height); }
    void Show() { SetVisibility(true); }
    void Hide() { SetVisibility(false); }
    void SetVisibility(bool visible);
    bool IsVisible() const;
    void Enable();
    void Disable();
    void Redraw();

    void Attach(ItemObserver& observer);
    void Detach(ItemObserver& observer);

private:
    Panel* panel_;
    short item_;
};

class ButtonItem : public Item {
public:
    using Item::Item;
};

class IconButton : public ButtonItem {
public:
    using ButtonItem::ButtonItem;
    void SetIcon(const Icon& icon);
    Icon GetIcon() const;
};

class Separator : public Item {
public:
    using Item::Item;
};

class IconItem : public Item {
public:
    using Item::Item;
    void SetIcon(const Icon& icon);
};

class Panel {
public:
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;
    virtual ~Panel();

    short GetId() const { return id_; }
    const Panel& GetReference() const { return *this; }
    short GetWidth() const;
    short GetHeight() const;
    short GetItemCount() const;
    Item* GetItem(short item) const;  // null when no item object is bound to that number
    void RedrawItems();
    void DisableItems();
    void EnableItems();
    void ClearFocus();

    void Attach(PanelObserver& observer);
    void Detach(PanelObserver& observer);

protected:
    Panel(GSResModule module, short resId, const char* kind);

private:
    short id_;
};

class Dialog : public Panel {
public:
    // Grows the dialog by (dx, dy); a resize that the user did not make.
    void Resize(short dx, short dy, short fixPoint = 0, bool keepOld = false);

protected:
    using Panel::Panel;
};

class ModelessBase : public Dialog {
public:
    void Show(short refDialogId = -32768);
    void Hide();
    bool IsVisible() const;
    void SendCloseRequest();
    void BeginEventProcessing();
    void EndEventProcessing();

protected:
    using Dialog::Dialog;
};

class Palette : public ModelessBase {
public:
#if KORDELA_HOST_VERSION >= 18
    Palette(GSResModule module, short resId, GSResModule iconModule, const GS::Guid& guid);
#else
    Palette(short resId, const GS::Guid& guid, GSResModule module);
#endif
    const GS::Guid& GetGuid() const
    {
        return guid_;
    }

private:
    GS::Guid guid_;
};

// Extra places where the host looks for help files, keyed by a pair of numbers.
void RegisterAdditionalHelpLocation(short key1, short key2, const IO::Location& folder, const void* = nullptr,
                                    const void* = nullptr, const void* = nullptr, const void* = nullptr);
void UnregisterAdditionalHelpLocation(short key1, short key2);

// The system's folder chooser; true and the folder when the user confirms one.
class FolderDialog {
public:
    void SetTitle(const GS::UniString& title) { title_ = title; }
    void SetFolder(const IO::Location& folder) { folder_ = folder; }
    bool Invoke();
    const IO::Location& GetFolder() const { return folder_; }

private:
    GS::UniString title_;
    IO::Location folder_;
};

}  // namespace DG

// The C interface of dialogs.
using DGDialCallBack = short (*)(short message, short dialogId, short item, long long userData, long long msgData);

constexpr short DG_MSG_INIT = 1;
constexpr short DG_MSG_CLOSE = 3;
constexpr short DG_MSG_CLICK = 4;
constexpr short DG_MSG_CHANGE = 5;
constexpr short DG_CLOSEBOX = static_cast<short>(0xFFFF);

#if KORDELA_HOST_VERSION >= 18
short DGModelessInit(GSResModule module, short resId, GSResModule iconModule, DGDialCallBack callback,
                     long long userData, short flags);
long DGModalDialog(GSResModule module, short resId, GSResModule iconModule, DGDialCallBack callback,
                   long long userData);
#else
short DGModelessInit(short resId, DGDialCallBack callback, long long userData, short flags);
long DGModalDialog(short resId, DGDialCallBack callback, long long userData);
#endif
void DGModelessClose(short dialogId);
bool DGIsDialogOpen(short dialogId);
void DGSetItemValLong(short dialogId, short item, long value);
long DGGetItemValLong(short dialogId, short item);
void DGSetItemText(short dialogId, short item, const GS::UniString& text);
GS::UniString DGGetItemText(short dialogId, short item);
void DGRedrawItem(short dialogId, short item);
void DGInvalidateItem(short dialogId, short item);
void DGHideItem(short dialogId, short item);
void DGShowItem(short dialogId, short item);
void DGSetDialogSize(short dialogId, short type, short width, short height, short fixPoint, short keepOld);
class NSWindow;
constexpr short DG_CANCEL = 2;
// The native window of an open dialog, for views of the add-on's own; null when not open.
// Closing that window ends the dialog as cancelled.
NSWindow* DGGetDialogWindow(short dialogId);
// Ends an open modal dialog as cancelled.
void DGAbortModalDialog(short dialogId);
// Answers the 1-based button the user pressed.
short DGAlert(short type, const GS::UniString& title, const GS::UniString& text, const GS::UniString& secondaryText,
              const GS::UniString& button1, const GS::UniString& button2, const GS::UniString& button3);
