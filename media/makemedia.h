// The two makers of the demo's default media. Each writes its file from
// nothing but our own arithmetic, the same pixels or samples on every run,
// and returns false if it cannot.
#ifndef MAKEMEDIA_H
#define MAKEMEDIA_H

bool make_picture(const char *path);  // picture.cpp: a JPEG
bool make_music(const char *path);    // music.cpp: an Ogg Vorbis file

#endif
