// Asks a window to close the way a window manager does when the user clicks
// its close button: a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW.
// Destroying the window instead (xdotool windowclose) would only break the
// program's connection; this is the polite request SDL turns into SDL_QUIT.
//
// Usage: wm_close WINDOW...   (ids as decimal or 0x hex, DISPLAY from the
// environment). The request goes to the first window that lists
// WM_DELETE_WINDOW in its WM_PROTOCOLS, since a window manager sends it only
// to such windows. Exit status 0 when sent, 1 when no window takes it,
// 2 on usage or connection errors.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>

// A window that is gone by now simply does not take the request.
static int ignore_error(Display *, XErrorEvent *)
{
    return 0;
}

static bool takes_delete(Display *d, Window w, Atom del)
{
    Atom *protocols = nullptr;
    int n = 0;
    if (!XGetWMProtocols(d, w, &protocols, &n))
        return false;
    bool found = false;
    for (int i = 0; i < n; i++)
        found = found || protocols[i] == del;
    XFree(protocols);
    return found;
}

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WINDOW...\n", argv[0]);
        return 2;
    }
    Display *d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "wm_close: cannot open display\n");
        return 2;
    }
    XSetErrorHandler(ignore_error);
    Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    for (int i = 1; i < argc; i++) {
        Window w = (Window)std::strtoul(argv[i], nullptr, 0);
        if (!takes_delete(d, w, del))
            continue;
        XEvent e = {};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = protocols;
        e.xclient.format = 32;
        e.xclient.data.l[0] = (long)del;
        e.xclient.data.l[1] = CurrentTime;
        // An empty event mask delivers the message to the window's owner,
        // as ICCCM prescribes for window manager messages.
        XSendEvent(d, w, False, NoEventMask, &e);
        XSync(d, False);
        XCloseDisplay(d);
        std::printf("0x%lx\n", (unsigned long)w);
        return 0;
    }
    std::fprintf(stderr, "wm_close: no window given lists WM_DELETE_WINDOW\n");
    XCloseDisplay(d);
    return 1;
}
