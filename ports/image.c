/* IMG_Load for the Windows and web builds: JPEG through libjpeg-turbo, BMP
 * through SDL. Whatever the bytes, it returns a surface or NULL with an
 * error set; libjpeg reports fatal errors by calling a function that must
 * not return, so that one jumps back here. */
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>

#include "SDL_image.h"

/* The surface pitch is 16 bits in SDL 1.2: wider rows would wrap it and
 * leave the pixel buffer shorter than the rows written into it. */
#define MAX_SIDE 16384
/* Far beyond any picture the demo shows; stops a runaway stream. */
#define MAX_BYTES (256u << 20)

#if SDL_BYTEORDER == SDL_LIL_ENDIAN
#define RMASK 0x000000FFu
#define GMASK 0x0000FF00u
#define BMASK 0x00FF0000u
#else
#define RMASK 0x00FF0000u
#define GMASK 0x0000FF00u
#define BMASK 0x000000FFu
#endif

struct jpeg_failure {
    struct jpeg_error_mgr mgr;
    jmp_buf back;
    char text[JMSG_LENGTH_MAX];
};

static void jpeg_fail(j_common_ptr c)
{
    struct jpeg_failure *f = (struct jpeg_failure *)c->err;
    f->mgr.format_message(c, f->text);
    longjmp(f->back, 1);
}

/* Warnings (a truncated or slightly damaged stream) are not fatal: the
 * picture is decoded as far as it goes, as libjpeg does by default, only
 * without printing to stderr. */
static void jpeg_quiet(j_common_ptr c)
{
    (void)c;
}

static SDL_Surface *load_jpeg(const Uint8 *data, size_t size)
{
    struct jpeg_decompress_struct info;
    struct jpeg_failure fail;
    /* volatile: it is changed between setjmp and a possible longjmp. */
    SDL_Surface *volatile img = NULL;

    memset(&info, 0, sizeof info);
    info.err = jpeg_std_error(&fail.mgr);
    fail.mgr.error_exit = jpeg_fail;
    fail.mgr.output_message = jpeg_quiet;
    fail.text[0] = '\0';
    if (setjmp(fail.back)) {
        jpeg_destroy_decompress(&info);
        if (img)
            SDL_FreeSurface(img);
        SDL_SetError("JPEG: %s", fail.text);
        return NULL;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, (const unsigned char *)data, (unsigned long)size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    info.quantize_colors = FALSE;
    jpeg_calc_output_dimensions(&info);
    if (info.output_width > MAX_SIDE || info.output_height > MAX_SIDE) {
        jpeg_destroy_decompress(&info);
        SDL_SetError("JPEG: %ux%u is too large", (unsigned)info.output_width,
                     (unsigned)info.output_height);
        return NULL;
    }
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        SDL_SetError("JPEG: cannot convert to RGB");
        return NULL;
    }
    img = SDL_CreateRGBSurface(SDL_SWSURFACE, (int)info.output_width,
                               (int)info.output_height, 24, RMASK, GMASK, BMASK, 0);
    if (!img) {
        jpeg_destroy_decompress(&info);
        return NULL;
    }
    if ((Uint32)img->pitch < 3 * info.output_width) {
        jpeg_destroy_decompress(&info);
        SDL_FreeSurface(img);
        SDL_SetError("JPEG: row too long");
        return NULL;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = (Uint8 *)img->pixels + (size_t)info.output_scanline * img->pitch;
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            break; /* cannot happen with data in memory; never loop forever */
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return img;
}

/* SDL 1.2 takes any depth above 8 that a BMP names, and an odd one (12,
 * or 2052, which wraps to 4 without a palette) gives a surface its blits
 * cannot convert; and it allocates whatever size the header names, gigabytes
 * for a few bytes of file: only the depths BMP has, and sizes whose rows of
 * four bytes a pixel (what a BMP is widened to) fit SDL's 16-bit pitch, in
 * a whole header, get that far. */
static int bmp_header_ok(const Uint8 *data, size_t size)
{
    size_t at;
    unsigned bits;
    long w, h;
    int old;
    /* SDL does not notice a header cut short, and takes what it did not
     * read for the depth. */
    if (size < 18)
        return 0;
    /* The width and height are 16-bit in the oldest header (12 bytes
     * long), 32-bit in the others (40 bytes at least), the height negative
     * for rows stored top down; then the plane count and the depth. */
    old = data[14] == 12 && !data[15] && !data[16] && !data[17];
    at = old ? 24 : 28;
    if (size < (old ? 26u : 54u))
        return 0;
    if (old) {
        w = data[18] | (long)data[19] << 8;
        h = data[20] | (long)data[21] << 8;
    } else {
        w = (Sint32)(data[18] | (Uint32)data[19] << 8 | (Uint32)data[20] << 16 | (Uint32)data[21] << 24);
        h = (Sint32)(data[22] | (Uint32)data[23] << 8 | (Uint32)data[24] << 16 | (Uint32)data[25] << 24);
    }
    if (w <= 0 || 4 * w > 0xFFFF || h == 0 || h > MAX_SIDE || h < -MAX_SIDE)
        return 0;
    bits = data[at] | (unsigned)data[at + 1] << 8;
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

static SDL_Surface *load_bmp(const Uint8 *data, size_t size)
{
    SDL_RWops *rw;
    SDL_Surface *bmp, *tmp, *out;
    if (!bmp_header_ok(data, size)) {
        SDL_SetError("BMP: header cut short, unsupported depth or too large");
        return NULL;
    }
    rw = SDL_RWFromConstMem(data, (int)size);
    if (!rw)
        return NULL;
    bmp = SDL_LoadBMP_RW(rw, 1);
    if (!bmp || bmp->format->BitsPerPixel == 24 || bmp->format->BitsPerPixel == 32)
        return bmp;
    /* Palette and 16-bit pictures: widened, so every caller gets true colour. */
    tmp = SDL_CreateRGBSurface(SDL_SWSURFACE, 1, 1, 32, RMASK, GMASK, BMASK, 0);
    out = tmp ? SDL_ConvertSurface(bmp, tmp->format, SDL_SWSURFACE) : NULL;
    if (tmp)
        SDL_FreeSurface(tmp);
    SDL_FreeSurface(bmp);
    return out;
}

/* The whole stream in memory: pictures are small, and both decoders then
 * read from a buffer that cannot fail half way. */
static Uint8 *read_all(SDL_RWops *src, size_t *size)
{
    size_t cap = 1 << 16, n = 0;
    Uint8 *buf = (Uint8 *)malloc(cap);
    if (!buf) {
        SDL_OutOfMemory();
        return NULL;
    }
    for (;;) {
        int got;
        if (n == cap) {
            Uint8 *more;
            if (cap >= MAX_BYTES) {
                free(buf);
                SDL_SetError("image file too large");
                return NULL;
            }
            more = (Uint8 *)realloc(buf, cap * 2);
            if (!more) {
                free(buf);
                SDL_OutOfMemory();
                return NULL;
            }
            buf = more;
            cap *= 2;
        }
        got = SDL_RWread(src, buf + n, 1, (int)(cap - n));
        if (got < 0) {
            free(buf);
            return NULL;
        }
        if (got == 0)
            break;
        n += (size_t)got;
    }
    *size = n;
    return buf;
}

SDL_Surface *IMG_Load_RW(SDL_RWops *src, int freesrc)
{
    Uint8 *data;
    size_t size = 0;
    SDL_Surface *img = NULL;

    if (!src) {
        SDL_SetError("no image stream");
        return NULL;
    }
    data = read_all(src, &size);
    if (freesrc)
        SDL_RWclose(src);
    if (!data)
        return NULL;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        img = load_jpeg(data, size);
    else if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        img = load_bmp(data, size);
    else
        SDL_SetError("Unsupported image format");
    free(data);
    return img;
}

SDL_Surface *IMG_Load(const char *file)
{
    SDL_RWops *src = SDL_RWFromFile(file, "rb");
    if (!src)
        return NULL;
    return IMG_Load_RW(src, 1);
}
