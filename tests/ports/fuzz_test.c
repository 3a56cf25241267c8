/* libFuzzer target for the image loader the ports share, which reads
 * whatever file it is given: any bytes must give a true-colour picture or an
 * error, never a crash, a leak or undefined behaviour. */
#include <stdint.h>
#include <stdlib.h>

#include "SDL_image.h"

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SDL_Surface *img = IMG_Load_RW(SDL_RWFromConstMem(data, (int)size), 1);
    if (img && img->format->BitsPerPixel < 24)
        abort();
    if (img)
        SDL_FreeSurface(img);
    return 0;
}
