// The program's own pieces of the C++ runtime (wizard/Runtime.cpp), linked as the program links them: a
// misused container throws with the text the library would give, as the program's own type (not the
// library's std::logic_error, with both string implementations behind it), and an impossible allocation
// is still std::bad_alloc. A plain program: GoogleTest needs the library's throw helpers, which cannot
// be linked beside the replacements. Prints each failed check; the exit code is their number.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

struct TThrown {
  std::string Type;
  std::string Text;
};

template <typename Body>
TThrown ThrownBy(Body body) {
  try {
    body();
  } catch (const std::bad_alloc& error) {
    return {"std::bad_alloc", error.what()};
  } catch (const std::exception& error) {
    return {typeid(error).name(), error.what()};
  }
  return {"nothing", ""};
}

int Check(const char* what, const TThrown& thrown, const char* type, const char* text) {
  if (thrown.Type.find(type) != std::string::npos && thrown.Text == text) return 0;
  std::printf("FAILED %s: %s \"%s\", expected %s \"%s\"\n", what, thrown.Type.c_str(), thrown.Text.c_str(), type,
              text);
  return 1;
}

}  // namespace

int main() {
  int failures = 0;
  std::vector<int> empty;
  failures += Check("vector::at", ThrownBy([&] { return empty.at(3); }), "EContainerMisuse",
                    "vector::_M_range_check: __n (which is 3) >= this->size() (which is 0)");
  const std::wstring word = L"word";
  failures += Check("wstring::substr", ThrownBy([&] { return word.substr(7); }), "EContainerMisuse",
                    "basic_string::substr: __pos (which is 7) > this->size() (which is 4)");
  failures += Check("vector::reserve", ThrownBy([&] { empty.reserve(empty.max_size() + 1); }), "EContainerMisuse",
                    "vector::reserve");
  const wchar_t* none = nullptr;
  failures += Check("wstring from null", ThrownBy([&] { return std::wstring(none, 1); }), "EContainerMisuse",
                    "basic_string: construction from null is not valid");
  failures += Check("allocator", ThrownBy([] { return std::allocator<int>().allocate(SIZE_MAX / sizeof(int) / 2 + 1); }),
                    "std::bad_alloc", "std::bad_alloc");
  std::printf("%d of 5 checks failed\n", failures);
  return failures;
}
