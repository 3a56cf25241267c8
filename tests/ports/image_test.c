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

/* The picture as the demo's screen holds it, or NULL. */
static SDL_Surface *as_screen(SDL_Surface *img)
{
    SDL_Surface *out = img ? SDL_ConvertSurface(img, SDL_GetVideoSurface()->format, 0) : NULL;
    SDL_FreeSurface(img);
    return out;
}

static const char *differ(const SDL_Surface *want, const SDL_Surface *got)
{
    int y;
    if (!want || !got)
        return want ? "the loader refused it" : got ? "SDL_image refused it" : NULL;
    if (want->w != got->w || want->h != got->h)
        return "another size";
    for (y = 0; y < want->h; y++)
        if (memcmp((Uint8 *)want->pixels + y * want->pitch, (Uint8 *)got->pixels + y * got->pitch, 4 * want->w))
            return "other pixels";
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
        printf(why ? "FAILED: %s: %s\n" : "ok: %s\n", argv[i], why);
        failed += why != NULL;
        SDL_FreeSurface(want);
        SDL_FreeSurface(got);
    }
    SDL_Quit();
    printf("%d passed, %d failed\n", argc - 1 - failed, failed);
    return failed != 0;
}
