// Asks windows to close as a window manager does when its close button is
// clicked: a WM_PROTOCOLS message carrying WM_DELETE_WINDOW, sent to each
// window given that lists that protocol. (xdotool windowclose destroys the
// window instead, which only breaks the program's connection.)
// Usage: wm_close WINDOW...; exit status 0 when some window was asked.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdlib>

int main(int argc, char *argv[])
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return 2;
    Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False), del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    int asked = 0;
    for (int i = 1; i < argc; i++) {
        Window w = std::strtoul(argv[i], nullptr, 0);
        Atom *list = nullptr;
        int n = 0;
        if (!XGetWMProtocols(d, w, &list, &n))
            continue;
        for (int k = 0; k < n; k++)
            if (list[k] == del) {
                XEvent e = {};
                e.xclient = {ClientMessage, 0, True, d, w, protocols, 32, {}};
                e.xclient.data.l[0] = (long)del;
                e.xclient.data.l[1] = CurrentTime;
                XSendEvent(d, w, False, NoEventMask, &e);
                asked++;
            }
        XFree(list);
    }
    XCloseDisplay(d);
    return asked ? 0 : 1;
}
