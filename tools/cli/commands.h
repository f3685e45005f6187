#pragma once
// One function per vantorel-cli command. argv[0] is the command's own name.

namespace vantorel::cli {

int RunUrls(int argc, char** argv);
int RunG726(int argc, char** argv);

}  // namespace vantorel::cli
