// makemedia PICTURE MUSIC: writes the demo's default picture and music, the
// files the build names as the demo's header does.
#include <cstdio>
#include "makemedia.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PICTURE MUSIC\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < 3; i++)
        if (!(i == 1 ? make_picture : make_music)(argv[i])) {
            std::fprintf(stderr, "makemedia: cannot write %s\n", argv[i]);
            return 1;
        }
    return 0;
}
