/* Checks the image loader: a JPEG decodes to the same pixels as a reference
 * decoding, BMPs of several depths come back as true colour, and damaged,
 * truncated or foreign input gives NULL or a sane surface, never a crash.
 * Built twice by test.sh: for Linux under AddressSanitizer, where a stray
 * read or write fails at once, and for Windows, run under wine.
 *
 *   image_test PICTURE.jpg REFERENCE.ppm [PICTURE.jpg REFERENCE.ppm]...
 *
 * REFERENCE.ppm: the same picture decoded by another program (binary PPM).
 * The first picture is also damaged in many ways.
 * Prints "N passed, N failed" and exits non-zero on any failure. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "SDL_image.h"

static int passed, failed;

static void check(int ok, const char *what)
{
    if (ok) {
        passed++;
    } else {
        failed++;
        printf("FAILED: %s\n", what);
    }
}

static unsigned char *read_file(const char *path, size_t *size)
{
    FILE *f = fopen(path, "rb");
    unsigned char *buf;
    long n;
    if (!f)
        return NULL;
    fseek(f, 0, SEEK_END);
    n = ftell(f);
    fseek(f, 0, SEEK_SET);
    buf = (unsigned char *)malloc(n > 0 ? (size_t)n : 1);
    if (buf && fread(buf, 1, (size_t)n, f) != (size_t)n) {
        free(buf);
        buf = NULL;
    }
    fclose(f);
    *size = (size_t)n;
    return buf;
}

/* Binary PPM with maxval 255, comments allowed between the fields. */
static unsigned char *read_ppm(const char *path, int *w, int *h)
{
    size_t size, i = 2;
    unsigned char *data = read_file(path, &size), *px;
    int field[3], k;
    if (!data || size < 2 || data[0] != 'P' || data[1] != '6')
        return NULL;
    for (k = 0; k < 3; k++) {
        while (i < size && (data[i] == ' ' || data[i] == '\n' || data[i] == '\r' ||
                            data[i] == '\t' || data[i] == '#')) {
            if (data[i] == '#')
                while (i < size && data[i] != '\n')
                    i++;
            else
                i++;
        }
        field[k] = 0;
        while (i < size && data[i] >= '0' && data[i] <= '9')
            field[k] = field[k] * 10 + (data[i++] - '0');
    }
    i++;
    *w = field[0];
    *h = field[1];
    if (field[2] != 255 || *w <= 0 || *h <= 0 || size - i < (size_t)*w * *h * 3) {
        free(data);
        return NULL;
    }
    px = (unsigned char *)malloc((size_t)*w * *h * 3);
    memcpy(px, data + i, (size_t)*w * *h * 3);
    free(data);
    return px;
}

static void pixel(SDL_Surface *s, int x, int y, Uint8 *r, Uint8 *g, Uint8 *b)
{
    Uint8 *p = (Uint8 *)s->pixels + y * s->pitch + x * s->format->BytesPerPixel;
    Uint32 v = 0;
    memcpy(&v, p, s->format->BytesPerPixel);
#if SDL_BYTEORDER == SDL_BIG_ENDIAN
    v >>= 8 * (4 - s->format->BytesPerPixel);
#endif
    SDL_GetRGB(v, s->format, r, g, b);
}

static int true_colour(SDL_Surface *s)
{
    return s->format->BitsPerPixel == 24 || s->format->BitsPerPixel == 32;
}

static SDL_Surface *load_mem(const void *data, size_t size)
{
    return IMG_Load_RW(SDL_RWFromConstMem(data, (int)size), 1);
}

/* NULL must come with a reason; a surface that comes back must be whole
 * (and w by h, unless w is negative). Frees the surface. */
static int sane(SDL_Surface *s, int w, int h)
{
    int ok;
    if (!s)
        return SDL_GetError()[0] != '\0';
    ok = true_colour(s) && s->pixels != NULL && (w < 0 || (s->w == w && s->h == h));
    if (ok) {
        /* Touch every byte, so the sanitizer sees a short buffer. */
        volatile Uint8 sum = 0;
        int y, x;
        for (y = 0; y < s->h; y++)
            for (x = 0; x < s->w * s->format->BytesPerPixel; x++)
                sum += ((Uint8 *)s->pixels)[y * s->pitch + x];
        (void)sum;
    }
    SDL_FreeSurface(s);
    return ok;
}

static void test_jpeg(const char *jpg, const char *ppm)
{
    int w, h, x, y, diff = 0;
    unsigned char *ref = read_ppm(ppm, &w, &h);
    SDL_Surface *s = IMG_Load(jpg);
    printf("%s\n", jpg);
    check(ref != NULL, "the reference picture can be read");
    check(s != NULL, "the JPEG loads");
    if (!s || !ref) {
        if (s)
            SDL_FreeSurface(s);
        free(ref);
        return;
    }
    check(true_colour(s), "the JPEG comes back as true colour");
    check(s->w == w && s->h == h, "the JPEG has the reference's size");
    if (s->w == w && s->h == h) {
        for (y = 0; y < h; y++)
            for (x = 0; x < w; x++) {
                Uint8 r, g, b;
                const unsigned char *q = ref + ((size_t)y * w + x) * 3;
                pixel(s, x, y, &r, &g, &b);
                if (r != q[0] || g != q[1] || b != q[2])
                    diff++;
            }
        if (diff)
            printf("%d of %d pixels differ from the reference\n", diff, w * h);
        check(diff == 0, "the JPEG's pixels equal the reference's");
    }
    SDL_FreeSurface(s);
    free(ref);
}

static void test_damaged_jpeg(const char *jpg)
{
    size_t size, n, i;
    unsigned char *data = read_file(jpg, &size), *copy;
    SDL_Surface *whole;
    int w, h, bad = 0;
    unsigned seed = 12345;
    if (!data) {
        check(0, "the JPEG can be read for damaging");
        return;
    }
    whole = load_mem(data, size);
    check(whole != NULL, "the JPEG loads from memory");
    if (!whole) {
        free(data);
        return;
    }
    w = whole->w;
    h = whole->h;
    SDL_FreeSurface(whole);

    /* Every length near the start, where the headers are, then a spread. */
    for (n = 0; n < size; n += n < 1024 ? 1 : 307) {
        copy = (unsigned char *)malloc(n ? n : 1);
        memcpy(copy, data, n);
        SDL_ClearError();
        if (!sane(load_mem(copy, n), w, h))
            bad++;
        free(copy);
    }
    check(bad == 0, "truncated JPEGs load whole or not at all");

    bad = 0;
    copy = (unsigned char *)malloc(size);
    for (i = 0; i < 400; i++) {
        int k, flips = 1 + (int)(i % 8);
        memcpy(copy, data, size);
        for (k = 0; k < flips; k++) {
            seed = seed * 1103515245u + 12345u;
            /* Most damage in the headers, where it changes the most. */
            n = (seed >> 8) % (i % 2 ? size : (size < 1024 ? size : 1024));
            seed = seed * 1103515245u + 12345u;
            copy[n] = (unsigned char)(seed >> 16);
        }
        SDL_ClearError();
        if (!sane(load_mem(copy, size), -1, -1))
            bad++;
    }
    check(bad == 0, "damaged JPEGs give a surface or an error");
    free(copy);
    free(data);
}

/* A BMP written by SDL itself (8-bit with a palette, or 24-bit), read back. */
static void test_bmp(int depth)
{
    char what[80];
    SDL_Surface *src, *back;
    Uint8 buf[64 * 1024];
    SDL_RWops *rw;
    int size, x, y, diff = 0, bad = 0, n;

    src = SDL_CreateRGBSurface(SDL_SWSURFACE, 37, 21, depth, 0, 0, 0, 0);
    if (depth == 8) {
        SDL_Color pal[256];
        for (x = 0; x < 256; x++) {
            pal[x].r = (Uint8)x;
            pal[x].g = (Uint8)(255 - x);
            pal[x].b = (Uint8)(x * 7);
        }
        SDL_SetColors(src, pal, 0, 256);
    }
    for (y = 0; y < src->h; y++)
        for (x = 0; x < src->w; x++) {
            Uint32 v = SDL_MapRGB(src->format, (Uint8)(x * 7), (Uint8)(y * 12), (Uint8)(x * y));
            memcpy((Uint8 *)src->pixels + y * src->pitch + x * src->format->BytesPerPixel, &v,
                   src->format->BytesPerPixel);
        }
    rw = SDL_RWFromMem(buf, sizeof buf);
    SDL_SaveBMP_RW(src, rw, 0);
    size = SDL_RWtell(rw);
    SDL_RWclose(rw);

    back = load_mem(buf, (size_t)size);
    snprintf(what, sizeof what, "a %d-bit BMP loads as true colour", depth);
    check(back && true_colour(back) && back->w == src->w && back->h == src->h, what);
    if (back && back->w == src->w && back->h == src->h) {
        for (y = 0; y < src->h; y++)
            for (x = 0; x < src->w; x++) {
                Uint8 r1, g1, b1, r2, g2, b2;
                pixel(src, x, y, &r1, &g1, &b1);
                pixel(back, x, y, &r2, &g2, &b2);
                if (r1 != r2 || g1 != g2 || b1 != b2)
                    diff++;
            }
        snprintf(what, sizeof what, "a %d-bit BMP keeps its colours", depth);
        check(diff == 0, what);
    }
    if (back)
        SDL_FreeSurface(back);

    for (n = 0; n < size; n += n < 128 ? 1 : 97) {
        SDL_ClearError();
        if (!sane(load_mem(buf, (size_t)n), src->w, src->h))
            bad++;
    }
    snprintf(what, sizeof what, "truncated %d-bit BMPs load whole or not at all", depth);
    check(bad == 0, what);
    SDL_FreeSurface(src);
}

static void test_foreign(void)
{
    static const char text[] = "GIF89a is not what this is";
    static const unsigned char soi_only[] = {0xFF, 0xD8, 0xFF};
    SDL_Surface *s;

    SDL_ClearError();
    s = load_mem(text, sizeof text);
    check(!s && SDL_GetError()[0], "an unknown format gives NULL and an error");
    SDL_ClearError();
    s = load_mem(text, 0);
    check(!s && SDL_GetError()[0], "an empty stream gives NULL and an error");
    SDL_ClearError();
    s = load_mem(soi_only, sizeof soi_only);
    check(!s && SDL_GetError()[0], "a bare JPEG marker gives NULL and an error");
    SDL_ClearError();
    s = IMG_Load("no such picture.jpg");
    check(!s && SDL_GetError()[0], "a missing file gives NULL and an error");
    SDL_ClearError();
    s = IMG_Load_RW(NULL, 1);
    check(!s && SDL_GetError()[0], "no stream gives NULL and an error");
}

int main(int argc, char *argv[])
{
    int i;
    if (argc < 3 || argc % 2 == 0) {
        fprintf(stderr, "usage: image_test PICTURE.jpg REFERENCE.ppm [PICTURE.jpg REFERENCE.ppm]...\n");
        return 2;
    }
    SDL_Init(0);
    for (i = 1; i < argc; i += 2)
        test_jpeg(argv[i], argv[i + 1]);
    test_damaged_jpeg(argv[1]);
    test_bmp(8);
    test_bmp(24);
    test_foreign();
    SDL_Quit();
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
