#include <cstdio>

int main() {
  std::puts("novaplayer");
  return 0;
}
