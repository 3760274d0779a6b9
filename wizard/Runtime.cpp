// Two pieces of the C++ runtime in a smaller form than libstdc++'s own, for the size of the program that
// users download. Linked into the program alone: the test suites keep the library's.
//
// - The helpers that throw for a misused container (std::__throw_length_error and its kin) sit in one
//   object of the library with all the others, whose standard exceptions keep their text in the old
//   std::string: linked, they bring both of the library's string implementations (about 80 KiB). Here the
//   three with a text throw an exception of the program's own whose what() reads as the library's would;
//   the program catches only std::exception and its own types, never std::logic_error and its kin.
// - The library's default terminate handler demangles the type's name (a 45 KiB demangler). This one
//   writes the same report with the name as the compiler writes it ("7EOSError" for EOSError).
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>

namespace {

// A misused container: the library's text, the program's type.
class EContainerMisuse final : public std::exception {
public:
  explicit EContainerMisuse(std::string text) : FText(std::move(text)) {}
  const char* what() const noexcept override { return FText.c_str(); }

private:
  std::string FText;
};

// The library's texts take strings (%s) and sizes (%zu); anything else is copied as it stands, as the
// library's own formatter does.
std::string FormatLibraryText(const char* format, va_list arguments) {
  std::string text;
  for (const char* p = format; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      text += va_arg(arguments, const char*);
      ++p;
    } else if (p[0] == '%' && p[1] == 'z' && p[2] == 'u') {
      text += std::to_string(va_arg(arguments, std::size_t));
      p += 2;
    } else if (p[0] == '%' && p[1] == '%') {
      text += '%';
      ++p;
    } else {
      text += *p;
    }
  }
  return text;
}

void WriteError(const char* text) { std::fputs(text, stderr); }

[[noreturn]] void ReportAndAbort() {
  // An exception from the report itself (what() of a broken type) would end up here again.
  static bool terminating = false;
  if (terminating) {
    WriteError("terminate called recursively\n");
    std::abort();
  }
  terminating = true;
  if (const std::type_info* type = abi::__cxa_current_exception_type()) {
    WriteError("terminate called after throwing an instance of '");
    WriteError(type->name());
    WriteError("'\n");
    try {
      throw;
    } catch (const std::exception& error) {
      WriteError("  what():  ");
      WriteError(error.what());
      WriteError("\n");
    } catch (...) {
    }
  } else {
    WriteError("terminate called without an active exception\n");
  }
  std::abort();
}

}  // namespace

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char* text) { throw EContainerMisuse(text); }
void __throw_logic_error(const char* text) { throw EContainerMisuse(text); }
void __throw_out_of_range_fmt(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string text = FormatLibraryText(format, arguments);
  va_end(arguments);
  throw EContainerMisuse(std::move(text));
}
}  // namespace std

namespace __gnu_cxx {
// The runtime's default terminate handler, by the name the runtime calls it; defined here, the library's
// (and with it the demangler) is not linked.
void __verbose_terminate_handler() { ReportAndAbort(); }
}  // namespace __gnu_cxx
