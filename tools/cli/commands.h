#pragma once
// One function per vantorel-cli command. argv[0] is the command's own name.

namespace vantorel::cli {

int RunUrls(int argc, char** argv);
int RunG726(int argc, char** argv);
int RunSnapshot(int argc, char** argv);
int RunDecodeJpeg(int argc, char** argv);
int RunWatch(int argc, char** argv);
int RunTalk(int argc, char** argv);
int RunListen(int argc, char** argv);
int RunRings(int argc, char** argv);
int RunOpen(int argc, char** argv);
int RunVisitors(int argc, char** argv);

}  // namespace vantorel::cli
