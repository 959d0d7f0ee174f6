#include "sample_library/sample_library.hpp"

int main() {
  return 1;
}
