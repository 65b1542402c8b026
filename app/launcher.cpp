// The executable's entry: binds the OpenGL and GLU libraries by name before
// anything else runs, then loads the program itself (libvoltra.so beside the
// executable) and calls its entry. A missing GL library thus ends the run
// with a message naming it instead of a loader error.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef VOLTRA_ENTRY
#error "VOLTRA_ENTRY names the program's entry function"
#endif

namespace {

// The library names may be overridden through the environment, for tests.
const char* libraryName(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  return value && *value ? value : fallback;
}

std::string executableDirectory() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  std::string text(path, static_cast<std::size_t>(length));
  const auto slash = text.rfind('/');
  return slash == std::string::npos ? "." : text.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
  const char* gl = libraryName("VOLTRA_GL_LIBRARY", "libGL.so.1");
  if (!dlopen(gl, RTLD_NOW | RTLD_GLOBAL)) {
    std::fprintf(stderr, "Could not load OpenGL from %s\n", gl);
    return 1;
  }
  const char* glu = libraryName("VOLTRA_GLU_LIBRARY", "libGLU.so.1");
  if (!dlopen(glu, RTLD_NOW | RTLD_GLOBAL)) {
    std::fprintf(stderr, "Could not load GLu from %s\n", glu);
    return 1;
  }
  const std::string program = executableDirectory() + "/libvoltra.so";
  void* handle = dlopen(program.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "voltra: cannot load %s: %s\n", program.c_str(), dlerror());
    return 1;
  }
  using Entry = int (*)(int, char**);
  auto entry = reinterpret_cast<Entry>(dlsym(handle, VOLTRA_ENTRY));
  if (!entry) {
    std::fprintf(stderr, "voltra: %s has no entry %s\n", program.c_str(), VOLTRA_ENTRY);
    return 1;
  }
  return entry(argc, argv);
}
