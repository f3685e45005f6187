#pragma once
// One function per vantorel-cli command. argv[0] is the command's own name.

namespace vantorel {
struct ImageBitmap;
}

namespace vantorel::cli {

int RunUrls(int argc, char** argv);
int RunG726(int argc, char** argv);
int RunSnapshot(int argc, char** argv);
int RunDecodeJpeg(int argc, char** argv);
int RunWatch(int argc, char** argv);
int RunTalk(int argc, char** argv);
int RunListen(int argc, char** argv);
int RunProbe(int argc, char** argv);
int RunAec(int argc, char** argv);

// Writes `picture` to `path` as a 24-bit .bmp file and, with `say_size`, prints its size
// and bytes. 0, or 1 with one line on stderr.
int SaveBmp(const char* path, const ImageBitmap& picture, bool say_size);
int RunRings(int argc, char** argv);
int RunOpen(int argc, char** argv);
int RunVisitors(int argc, char** argv);

}  // namespace vantorel::cli
