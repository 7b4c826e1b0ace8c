// shell/DialogInterface.h: the base of every modeless dialog: its window built
// by name, its events routed to the object, OK (1000) and Cancel (2), the
// menus told while it is open, and its end: commit on OK, then deletion.
#pragma once

#include <memory>
#include <string>

#include <QPoint>

class QObject;
class QWidget;
class ControlHandle;
class Canvas;

// Event results.
inline constexpr int kEventHandled = 0;           // noErr
inline constexpr int kEventNotHandledErr = -9874; // eventNotHandledErr

// Control numbers every dialog shares.
inline constexpr int kDialogOK = 1000;
inline constexpr int kDialogCancel = 2;

// One event of a dialog window.
struct DialogEvent {
    enum Kind {
        controlHit,  // a button clicked, a check box toggled by the user, a selector chosen
        drawContent, // the window must be drawn
        activated,   // the window came to the front
        mouseDown,   // a press on the window's background (not on a control)
        keyDown,     // a key (also its repeats)
    };
    DialogEvent() = default;
    explicit DialogEvent(Kind k, int id = 0) : kind(k), controlID(id) {}

    Kind kind = drawContent;
    int controlID = 0; // controlHit
    int key = 0;       // keyDown: the Qt key code
    int modifiers = 0; // keyDown, mouseDown: the program's modifier word (Modifiers.h)
    QPoint where;      // mouseDown: window coordinates
};

// What subclasses must do: implement RedrawDialog; handle their own controls
// in HandleDialogItemHit and pass the others to the base; put the work of OK
// in commit() (called once, before the object goes; std::bad_alloc from it
// turns OK into Cancel after the out-of-memory alert); clear their global
// pointer in ClearGlobalPointer. The object deletes itself after OK or Cancel
// (deferred to the event loop); nobody else deletes an open dialog but tests
// and the command that built it when construction throws.
class DialogInterface {
public:
    // Builds and shows the window windowName of the interface file and
    // registers the dialog as open. Throws std::bad_alloc when the window is
    // unknown or memory runs out; nothing is then left behind.
    explicit DialogInterface(const std::string& windowName);
    // countsAsOpenDialog false: a modeless dialog that leaves the menus as
    // they are (the movie frame dialogs, which keep their own count).
    DialogInterface(const std::string& windowName, bool countsAsOpenDialog);
    virtual ~DialogInterface();
    DialogInterface(const DialogInterface&) = delete;
    DialogInterface& operator=(const DialogInterface&) = delete;

    // The one entry of every event: ignored while the object is being built
    // or is closing; otherwise HandleEvent, and when it set done, the end.
    // std::bad_alloc from HandleEvent raises the out-of-memory alert and ends
    // the dialog as Cancel. Returns HandleEvent's result (handled when ignored
    // or out of memory).
    int Dispatch(const DialogEvent& event);

    virtual int HandleEvent(const DialogEvent& event, bool& done);
    virtual void RedrawDialog() = 0;
    // Called while the user drags the rectangle of a thumbnail panel.
    virtual void ProcessLiveThumbnailRectUpdate() {}
    // 1000 ends with OK, 2 with Cancel (true); anything else false.
    virtual bool HandleDialogItemHit(int id, bool& done);

    // Edit-text controls: the first 255 characters of the text as UTF-8.
    // getEditableTextCStr copies at most size - 1 bytes into buffer and
    // terminates it; the number getters read a leading decimal number
    // (leading white space skipped, the longest valid prefix, the C locale
    // whatever the user's: "3,5" reads as 3), 0 when there is none.
    void getEditableTextCStr(const ControlHandle& control, char* buffer, int size) const;
    int getEditableTextInt(const ControlHandle& control) const;
    double getEditableTextFloat(const ControlHandle& control) const;
    void getEditableTextCStr(const std::string& signature, int id, char* buffer, int size) const;
    int getEditableTextInt(const std::string& signature, int id) const;
    double getEditableTextFloat(const std::string& signature, int id) const;

    bool runningCtorDtor() const { return mIgnoreEvents; }
    bool cancelled() const { return mCancelled; }
    bool closing() const { return mClosing; }
    QWidget* window() const { return mWindow.get(); }
    // The window's drawing surface (its first canvas), or null.
    Canvas* canvas() const;
    // A point in the window's coordinates (DialogEvent::where) in the
    // canvas's (unchanged without a canvas).
    QPoint canvasPoint(QPoint windowPoint) const;
    ControlHandle control(int id) const;

    // Ends the dialog as OK (false) or Cancel (true) would.
    void End(bool cancel);

protected:
    // The work of OK. Not called on Cancel.
    virtual void commit() {}
    // Runs after commit (or on Cancel) while the object still exists: the
    // summed-stack dialogs restore or keep the planes here.
    virtual void finish() {}
    virtual void ClearGlobalPointer() {}
    void setIgnoreEvents(bool ignore) { mIgnoreEvents = ignore; }

private:
    void Close();
    void Unregister();

    struct WindowDeleter {
        void operator()(QWidget* window) const;
    };
    std::unique_ptr<QWidget, WindowDeleter> mWindow;
    std::unique_ptr<QObject> mFilter; // routes the window's events to Dispatch
    bool mCancelled = false;
    bool mIgnoreEvents = true;
    bool mClosing = false;
    bool mRegistered = false;
};

// The number readers of edit text, on their own (tests).
int ParseLeadingInt(const std::string& text);
double ParseLeadingFloat(const std::string& text);
