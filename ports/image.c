/* IMG_Load for the builds without SDL_image: JPEG through libjpeg-turbo,
 * PNG through libpng, GIF through giflib, BMP through SDL, each into a
 * true-colour surface of the colours SDL_image reads, so that the demo's
 * conversion gives the same pixels. Whatever the bytes, it returns a surface or NULL with an
 * error set; libjpeg and libpng report fatal errors by calling a function
 * that must not return, so those jump back here. */
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include "SDL_image.h"

/* The surface pitch is 16 bits in SDL 1.2: wider rows, at the four bytes
 * a pixel the demo widens every picture to, would wrap it and leave the
 * pixel buffer shorter than the rows written into it. */
#define MAX_WIDTH (0xFFFF / 4)
#define MAX_SIDE 16384
/* Far beyond any picture the demo shows; stops a runaway stream. */
#define MAX_BYTES (256u << 20)

/* Bytes R, G, B (and A) in memory, whatever the byte order. */
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
#define RMASK 0x000000FFu
#define GMASK 0x0000FF00u
#define BMASK 0x00FF0000u
#define RMASK4 RMASK
#define GMASK4 GMASK
#define BMASK4 BMASK
#define AMASK4 0xFF000000u
#else
#define RMASK 0x00FF0000u
#define GMASK 0x0000FF00u
#define BMASK 0x000000FFu
#define RMASK4 0xFF000000u
#define GMASK4 0x00FF0000u
#define BMASK4 0x0000FF00u
#define AMASK4 0x000000FFu
#endif

static int size_ok(Uint32 w, Uint32 h)
{
    return w > 0 && h > 0 && w <= MAX_WIDTH && h <= MAX_SIDE;
}

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
    if (!size_ok(info.output_width, info.output_height)) {
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

/* Palette and 16-bit pictures widened, so that every caller gets true
 * colour. */
static SDL_Surface *true_colour(SDL_Surface *img)
{
    SDL_Surface *tmp, *out;
    if (!img || img->format->BitsPerPixel >= 24)
        return img;
    tmp = SDL_CreateRGBSurface(SDL_SWSURFACE, 1, 1, 32, RMASK, GMASK, BMASK, 0);
    out = tmp ? SDL_ConvertSurface(img, tmp->format, SDL_SWSURFACE) : NULL;
    if (tmp)
        SDL_FreeSurface(tmp);
    SDL_FreeSurface(img);
    return out;
}

/* The bytes still to be read, for libpng and giflib. */
struct cursor {
    const Uint8 *at;
    size_t left;
};

static size_t take(struct cursor *c, void *to, size_t n)
{
    if (n > c->left)
        n = c->left;
    memcpy(to, c->at, n);
    c->at += n;
    c->left -= n;
    return n;
}

struct png_failure {
    jmp_buf back;
    char text[128];
};

static void png_fail(png_structp png, png_const_charp text)
{
    struct png_failure *f = (struct png_failure *)png_get_error_ptr(png);
    snprintf(f->text, sizeof f->text, "%s", text);
    longjmp(f->back, 1);
}

static void png_quiet(png_structp png, png_const_charp text)
{
    (void)png;
    (void)text;
}

static void png_take(png_structp png, png_bytep to, png_size_t n)
{
    if (take((struct cursor *)png_get_io_ptr(png), to, n) != n)
        png_error(png, "file cut short");
}

/* Every kind of PNG as 8-bit RGB, or RGBA where it has any transparency:
 * the colours SDL_image's surface holds, palette entries and grey levels
 * looked up, 16-bit samples cut to their high byte as it does. */
static SDL_Surface *load_png(const Uint8 *data, size_t size)
{
    struct cursor c = { data, size };
    struct png_failure fail;
    png_structp png;
    png_infop info = NULL;
    /* volatile: changed between setjmp and a possible longjmp. */
    SDL_Surface *volatile img = NULL;
    png_bytep *volatile rows = NULL;
    png_uint_32 w, h, y;
    int channels;

    fail.text[0] = '\0';
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &fail, png_fail, png_quiet);
    if (!png || !(info = png_create_info_struct(png))) {
        png_destroy_read_struct(&png, NULL, NULL);
        SDL_OutOfMemory();
        return NULL;
    }
    if (setjmp(fail.back)) {
        png_destroy_read_struct(&png, &info, NULL);
        free(rows);
        if (img)
            SDL_FreeSurface(img);
        SDL_SetError("PNG: %s", fail.text);
        return NULL;
    }
    png_set_user_limits(png, MAX_WIDTH, MAX_SIDE);
    png_set_read_fn(png, &c, png_take);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    w = png_get_image_width(png, info);
    h = png_get_image_height(png, info);
    channels = png_get_channels(png, info);
    if (channels == 4)
        img = SDL_CreateRGBSurface(SDL_SWSURFACE, (int)w, (int)h, 32, RMASK4, GMASK4, BMASK4, AMASK4);
    else
        img = SDL_CreateRGBSurface(SDL_SWSURFACE, (int)w, (int)h, 24, RMASK, GMASK, BMASK, 0);
    if (!img || (png_uint_32)img->pitch < channels * w)
        png_error(png, "no memory for the picture");
    rows = (png_bytep *)malloc(h * sizeof *rows);
    if (!rows)
        png_error(png, "no memory for the picture");
    for (y = 0; y < h; y++)
        rows[y] = (png_bytep)img->pixels + (size_t)y * img->pitch;
    png_read_image(png, rows);
    png_destroy_read_struct(&png, &info, NULL);
    free(rows);
    return img;
}

static int gif_take(GifFileType *gif, GifByteType *to, int n)
{
    return (int)take((struct cursor *)gif->UserData, to, n < 0 ? 0 : (size_t)n);
}

/* The first picture of a GIF, as an 8-bit surface with its colours; the
 * rest of the canvas, which a later frame or the background would fill, is
 * not part of it. */
static SDL_Surface *read_gif(GifFileType *gif)
{
    static const int first[] = { 0, 4, 2, 1 }, step[] = { 8, 8, 4, 2 };
    for (;;) {
        GifRecordType type;
        GifByteType *ext;
        int code;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR)
            return NULL;
        if (type == TERMINATE_RECORD_TYPE)
            break;
        if (type == EXTENSION_RECORD_TYPE) {
            /* Its transparent colour too: the demo keys out black alone. */
            if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR)
                return NULL;
            while (ext)
                if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR)
                    return NULL;
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            const GifImageDesc *d = &gif->Image;
            const ColorMapObject *map;
            SDL_Surface *img;
            int pass, y, i;
            if (DGifGetImageDesc(gif) == GIF_ERROR)
                return NULL;
            map = d->ColorMap ? d->ColorMap : gif->SColorMap;
            if (!map) {
                SDL_SetError("GIF: no colours");
                return NULL;
            }
            if (!size_ok((Uint32)d->Width, (Uint32)d->Height)) {
                SDL_SetError("GIF: %dx%d is too large", d->Width, d->Height);
                return NULL;
            }
            img = SDL_CreateRGBSurface(SDL_SWSURFACE, d->Width, d->Height, 8, 0, 0, 0, 0);
            if (!img)
                return NULL;
            for (i = 0; i < map->ColorCount && i < 256; i++) {
                img->format->palette->colors[i].r = map->Colors[i].Red;
                img->format->palette->colors[i].g = map->Colors[i].Green;
                img->format->palette->colors[i].b = map->Colors[i].Blue;
            }
            for (pass = d->Interlace ? 0 : 3; pass < 4; pass++)
                for (y = d->Interlace ? first[pass] : 0; y < d->Height; y += d->Interlace ? step[pass] : 1)
                    if (DGifGetLine(gif, (Uint8 *)img->pixels + (size_t)y * img->pitch, d->Width) == GIF_ERROR) {
                        SDL_FreeSurface(img);
                        return NULL;
                    }
            return img;
        } else {
            break;
        }
    }
    SDL_SetError("GIF: no picture in it");
    return NULL;
}

static SDL_Surface *load_gif(const Uint8 *data, size_t size)
{
    struct cursor c = { data, size };
    int err = 0;
    SDL_Surface *img;
    GifFileType *gif = DGifOpen(&c, gif_take, &err);
    if (!gif) {
        SDL_SetError("GIF: %s", GifErrorString(err));
        return NULL;
    }
    SDL_SetError("");
    img = true_colour(read_gif(gif));
    if (!img && !*SDL_GetError())
        SDL_SetError("GIF: %s", GifErrorString(gif->Error));
    DGifCloseFile(gif, &err);
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
    if (!size_ok(w < 0 ? 0 : (Uint32)w, h < 0 ? 0u - (Uint32)h : (Uint32)h))
        return 0;
    bits = data[at] | (unsigned)data[at + 1] << 8;
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

static SDL_Surface *load_bmp(const Uint8 *data, size_t size)
{
    SDL_RWops *rw;
    if (!bmp_header_ok(data, size)) {
        SDL_SetError("BMP: header cut short, unsupported depth or too large");
        return NULL;
    }
    rw = SDL_RWFromConstMem(data, (int)size);
    if (!rw)
        return NULL;
    return true_colour(SDL_LoadBMP_RW(rw, 1));
}

/* The whole stream in memory: pictures are small, and the decoders then
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
    else if (size >= 8 && !memcmp(data, "\x89PNG\r\n\x1a\n", 8))
        img = load_png(data, size);
    else if (size >= 6 && (!memcmp(data, "GIF87a", 6) || !memcmp(data, "GIF89a", 6)))
        img = load_gif(data, size);
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
