#include "platform/net/http.h"

#include <curl/curl.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

namespace qel::net {
namespace {

std::atomic<long long> g_connect_ms{10000};
std::atomic<long long> g_total_ms{30000};

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Exchange {
  Request const* request;
  Response* response;
  std::string block;  // the header block being received
  bool stopped_by_us = false;
};

int StatusOf(std::string_view line) {
  // "HTTP/1.1 200 OK": the code follows the first blank.
  std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return 0;
  int code = 0;
  for (std::size_t i = blank + 1; i < line.size() && i < blank + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* x = static_cast<Exchange*>(user);
  std::size_t n = size * count;
  std::string_view line(data, n);
  if (line.rfind("HTTP/", 0) == 0) x->block.clear();
  x->block.append(line);
  if (line != "\r\n" && line != "\n") return n;
  // The end of a header block. An interim 1xx block is followed by the real one.
  std::size_t eol = x->block.find_first_of("\r\n");
  std::string status_line = x->block.substr(0, eol);
  int status = StatusOf(status_line);
  if (status >= 100 && status < 200) return n;
  Response& r = *x->response;
  r.headers = true;
  r.status = status;
  r.status_line = std::move(status_line);
  r.raw_headers = x->block;
  if (x->request->body_limit == 0) {
    x->stopped_by_us = true;
    return 0;  // the body is not wanted: end the exchange here
  }
  return n;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* x = static_cast<Exchange*>(user);
  std::size_t n = size * count;
  Response& r = *x->response;
  std::size_t room = x->request->body_limit - r.body.size();
  r.body.append(data, std::min(n, room));
  if (r.body.size() >= x->request->body_limit) {
    x->stopped_by_us = true;
    return 0;  // read once, up to the limit
  }
  return n;
}

struct CurlFree {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
  void operator()(char* s) const { curl_free(s); }
};

}  // namespace

void SetTimeouts(Timeouts timeouts) {
  g_connect_ms = timeouts.connect.count();
  g_total_ms = timeouts.total.count();
}

Timeouts GetTimeouts() {
  return Timeouts{std::chrono::milliseconds(g_connect_ms.load()),
                  std::chrono::milliseconds(g_total_ms.load())};
}

bool IsHttpUrl(std::string_view url) {
  GlobalInit();
  std::unique_ptr<CURLU, CurlFree> handle(curl_url());
  if (!handle) return false;
  std::string text(url);
  if (text.find('\0') != std::string::npos) return false;
  if (curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
  char* scheme = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
  std::unique_ptr<char, CurlFree> owned(scheme);
  char* host = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) return false;
  std::unique_ptr<char, CurlFree> owned_host(host);
  return std::strcmp(scheme, "http") == 0 && host[0] != '\0';
}

Response Get(Request const& request) {
  Response response;
  if (!IsHttpUrl(request.url)) {
    response.error = "not an http:// address";
    return response;
  }
  GlobalInit();
  std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
  if (!curl) {
    response.error = "the HTTP client could not start";
    return response;
  }
  std::unique_ptr<curl_slist, CurlFree> headers;
  for (std::string const& line : request.header_lines) {
    curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
    if (grown == nullptr) break;
    headers.release();
    headers.reset(grown);
  }
  Exchange x{&request, &response, {}, false};
  char error[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_USERAGENT, request.agent.c_str());
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(g_connect_ms.load()));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(g_total_ms.load()));
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &x);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &x);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  CURLcode code = curl_easy_perform(c);
  if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && x.stopped_by_us)) {
    response.complete = response.headers;
    if (!response.headers) response.error = "the answer has no header block";
  } else {
    response.error = error[0] != '\0' ? error : curl_easy_strerror(code);
  }
  return response;
}

}  // namespace qel::net
