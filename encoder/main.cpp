// Placeholder until the adapter is written: runs the real FFmpeg unchanged.
#include <unistd.h>

int main(int, char *argv[])
{
    argv[0] = const_cast<char *>("ffmpeg");
    execvp("/usr/bin/ffmpeg", argv);
    return 127;
}
