// A program for launch tests: ends at once with the exit code given as its
// first argument (decimal, the whole unsigned 32-bit range).
#include <cstdlib>

int main(int argc, char** argv) {
  return argc > 1 ? static_cast<int>(std::strtoul(argv[1], nullptr, 10)) : 0;
}
