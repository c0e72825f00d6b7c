#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <X11/Xlib.h>
#include <cstdlib>

// JUCE looks window-manager atoms up without creating them; on a bare X server
// (Xvfb, no window manager) they are missing and setting them is a fatal X
// error. Creating them first, as any window manager would, is enough.
static void internWindowManagerAtoms()
{
    if (auto* display = XOpenDisplay (nullptr))
    {
        for (const char* name : { "KWM_WIN_DECORATION", "WM_CHANGE_STATE", "WM_DELETE_WINDOW", "WM_PROTOCOLS", "WM_STATE",
                                  "WM_TAKE_FOCUS", "_KDE_NET_WM_WINDOW_TYPE_OVERRIDE", "_MOTIF_WM_HINTS",
                                  "_NET_FRAME_EXTENTS", "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_MOVERESIZE", "_NET_WM_PING",
                                  "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_HIDDEN",
                                  "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_TYPE_NORMAL",
                                  "_NET_WORKAREA", "_WIN_HINTS", "_NET_WM_PID", "_NET_WM_NAME", "_NET_WM_ICON", "UTF8_STRING" })
            XInternAtom (display, name, False);
        // Left open: when its last client leaves, Xvfb resets and forgets atoms.
        XFlush (display);
    }
}


int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    // Before JUCE opens its own connection and looks the atoms up.
    if (std::getenv ("DISPLAY") != nullptr)
        internWindowManagerAtoms();
    // The test thread is the message thread, as a host's would be for state and editor calls.
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
