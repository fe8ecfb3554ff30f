// HTTP GET exchanges for the library's probes, over libcurl.
//
// One call makes one request on a connection of its own and blocks until the answer's
// header block (and, when asked, the start of its body) has arrived, the peer fails, or
// a timeout expires. Redirections are never followed: a 3xx answer is returned as it
// came. Only the "http" scheme is spoken. Proxies follow the usual environment
// variables (http_proxy, no_proxy), as the desktop platform's preconfigured access does.
#ifndef QELSHARE_PLATFORM_NET_HTTP_H_
#define QELSHARE_PLATFORM_NET_HTTP_H_

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qel::net {

// Limits of every exchange: connecting, and the whole exchange. An exchange that runs
// into either fails.
struct Timeouts {
  std::chrono::milliseconds connect{10000};
  std::chrono::milliseconds total{30000};
};

// The limits used from now on by every thread (default: 10 s and 30 s).
void SetTimeouts(Timeouts timeouts);
Timeouts GetTimeouts();

// True when url parses as an address whose scheme is "http".
bool IsHttpUrl(std::string_view url);

struct Request {
  std::string url;
  std::string agent;                      // the User-Agent
  std::vector<std::string> header_lines;  // extra lines; a line without ":" is not sent
  std::size_t body_limit = 0;             // body bytes to read; 0: stop after the headers
};

struct Response {
  bool headers = false;     // a complete header block arrived
  bool complete = false;    // the exchange went as far as asked without failing
  int status = 0;           // the status code of the final header block
  std::string status_line;  // its first line, without CR LF
  std::string raw_headers;  // the final header block as received, lines ended by CR LF
  std::string body;         // at most body_limit bytes
  std::string error;        // why the exchange failed, for people
};

// Sends a GET for request.url and collects the answer.
Response Get(Request const& request);

}  // namespace qel::net

#endif  // QELSHARE_PLATFORM_NET_HTTP_H_
