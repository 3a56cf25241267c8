// SDL gives no start-up glue on Linux; where its header renames main (the
// Windows build), its own glue calls SDL_main instead of this.
#include "vaskiloimu.h"

#if !defined(main)
int main(int argc, char *argv[])
{
    return SDL_main(argc, argv);
}
#endif
