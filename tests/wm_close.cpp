// Asks windows to close as a window manager does when its close button is
// clicked: a WM_PROTOCOLS message carrying WM_DELETE_WINDOW, which SDL turns
// into a quit request. (xdotool windowclose destroys the window instead,
// which only breaks the program's connection.) Usage: wm_close WINDOW...
#include <X11/Xlib.h>
#include <cstdlib>

int main(int argc, char *argv[])
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return 1;
    Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False), del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    for (int i = 1; i < argc; i++) {
        Window w = std::strtoul(argv[i], nullptr, 0);
        XEvent e = {};
        e.xclient = {ClientMessage, 0, True, d, w, protocols, 32, {}};
        e.xclient.data.l[0] = (long)del;
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, w, False, NoEventMask, &e);
    }
    XCloseDisplay(d);
}
