// A program outside the project that links the installed library.
#include <qelshare/qelshare.h>

#include <cstdio>

int main() {
  CStringArr parts;
  int n = CPublicFun::SplitString(",a,,b,", parts, ',');
  std::printf("consumer: %d pieces, library %s\n", n, QelShareVersion());
  return n == 2 ? 0 : 1;
}
