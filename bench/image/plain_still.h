#pragma once
// The yardstick for the stills benchmarks: one still fetched and decoded the obvious way,
// with a fresh libcurl handle (and connection) each time, the body written to a file and
// decoded from it with jpeg_stdio_src.

#include <curl/curl.h>

#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace vantorel::bench {

inline size_t WriteToFile(char* data, size_t, size_t n, void* file) {
  return std::fwrite(data, 1, n, static_cast<FILE*>(file));
}

// `account` ("user:password") signs in with HTTP Digest when given: libcurl asks without
// it first, so every still costs the camera's challenge too.
inline bool PlainStill(const std::string& url, const std::string& path, std::vector<unsigned char>& pixels,
                       const char* account = nullptr) {
  FILE* file = std::fopen(path.c_str(), "w+b");
  if (!file) return false;
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Halvicor Gazoo read.");
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
  if (account) {
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_DIGEST);
    curl_easy_setopt(curl, CURLOPT_USERPWD, account);
  }
  long status = 0;
  const bool fetched = curl_easy_perform(curl) == CURLE_OK &&
                       curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
  curl_easy_cleanup(curl);
  bool decoded = false;
  if (fetched) {
    std::rewind(file);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_IFAST;
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const size_t stride = (cinfo.output_width * 3 + 3) & ~size_t{3};
    pixels.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = pixels.data() + (cinfo.output_height - 1 - cinfo.output_scanline) * stride;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    decoded = true;
  }
  std::fclose(file);
  std::remove(path.c_str());
  return decoded;
}

}  // namespace vantorel::bench
