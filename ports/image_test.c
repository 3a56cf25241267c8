/* The image loader the ports share against SDL_image itself, file by file:
 * both read it or both refuse it, and what they read becomes, converted to
 * the demo's screen format as the demo converts it, the same pixels.
 * The loader is built into this program under other names (see the build).
 * Prints "ok: FILE" or "FAILED: FILE: why" a file, then "N passed, M failed".
 *
 *   image_test FILE...
 */
#include <SDL.h>
#include <SDL_image.h>
#include <stdio.h>
#include <string.h>

SDL_Surface *port_IMG_Load(const char *file);

/* The demo's screen: 32-bit, B, G, R, x in memory. */
static SDL_Surface *as_screen(SDL_Surface *img)
{
    SDL_Surface *out;
    if (!img)
        return NULL;
    out = SDL_ConvertSurface(img, SDL_GetVideoSurface()->format, 0);
    SDL_FreeSurface(img);
    return out;
}

static const char *differ(SDL_Surface *want, SDL_Surface *got)
{
    static char why[200];
    int y;
    if (!want != !got) {
        snprintf(why, sizeof why, "SDL_image %s it, the loader %s it (%s)", want ? "read" : "refused",
                 got ? "read" : "refused", SDL_GetError());
        return why;
    }
    if (!want)
        return NULL;
    if (want->w != got->w || want->h != got->h) {
        snprintf(why, sizeof why, "%dx%d, not %dx%d", got->w, got->h, want->w, want->h);
        return why;
    }
    for (y = 0; y < want->h; y++) {
        const Uint32 *a = (const Uint32 *)((Uint8 *)want->pixels + y * want->pitch);
        const Uint32 *b = (const Uint32 *)((Uint8 *)got->pixels + y * got->pitch);
        int x;
        for (x = 0; x < want->w; x++)
            if (a[x] != b[x]) {
                snprintf(why, sizeof why, "at %d,%d %08x, not %08x", x, y, (unsigned)b[x], (unsigned)a[x]);
                return why;
            }
    }
    return NULL;
}

int main(int argc, char **argv)
{
    int i, failed = 0;
    if (SDL_Init(SDL_INIT_VIDEO) < 0 || !SDL_SetVideoMode(16, 16, 32, SDL_SWSURFACE)) {
        printf("FAILED: no screen: %s\n", SDL_GetError());
        return 1;
    }
    for (i = 1; i < argc; i++) {
        SDL_Surface *want = as_screen(IMG_Load(argv[i])), *got = as_screen(port_IMG_Load(argv[i]));
        const char *why = differ(want, got);
        if (why)
            printf("FAILED: %s: %s\n", argv[i], why);
        else
            printf("ok: %s\n", argv[i]);
        failed += why != NULL;
        if (want)
            SDL_FreeSurface(want);
        if (got)
            SDL_FreeSurface(got);
    }
    SDL_Quit();
    printf("%d passed, %d failed\n", argc - 1 - failed, failed);
    return failed != 0;
}
