// velmora-publish: the studio's manifest tool.
//
//   velmora-publish build <folder> --name N --type T --created C --build B [-o manifest.xml]
//   velmora-publish verify <install-folder> <manifest.xml> [--prefix P] [--exclude]
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "foundation/os/file_io.h"
#include "foundation/os/process.h"
#include "foundation/text/utf.h"
#include "tools/publish/install_verifier.h"
#include "tools/publish/manifest_builder.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  velmora-publish build <folder> --name N --type T --created C --build B [-o manifest.xml]\n"
    "      writes the manifest of every file under <folder> (default output: manifest.xml)\n"
    "  velmora-publish verify <install-folder> <manifest.xml> [--prefix P] [--exclude]\n"
    "      compares an install with a manifest as the launcher does; prints\n"
    "      fetch/remove/unchanged lines and exits 0 (nothing to do), 1 (work) or 2 (failure)\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "velmora-publish: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

int RunBuild(const std::vector<std::u16string>& args) {
  std::optional<std::u16string> folder;
  velmora::publish::ImageDescription image;
  bool have[4] = {};
  std::u16string output = u"manifest.xml";
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::u16string& a = args[i];
    const bool has_value = i + 1 < args.size();
    auto take = [&](std::string* into, bool* flag) {
      *into = velmora::Utf16ToUtf8(args[++i]);
      *flag = true;
    };
    if (a == u"--name" && has_value) {
      take(&image.name, &have[0]);
    } else if (a == u"--type" && has_value) {
      take(&image.type, &have[1]);
    } else if (a == u"--created" && has_value) {
      take(&image.created, &have[2]);
    } else if (a == u"--build" && has_value) {
      take(&image.build, &have[3]);
    } else if (a == u"-o" && has_value) {
      output = args[++i];
    } else if (!a.empty() && a[0] != u'-' && !folder) {
      folder = a;
    } else {
      return Usage(("unexpected argument \"" + velmora::Utf16ToUtf8(a) + "\"").c_str());
    }
  }
  if (!folder) return Usage("build needs a folder");
  for (bool h : have)
    if (!h) return Usage("build needs --name, --type, --created and --build");
  return velmora::publish::BuildManifest(velmora::os::FilePathFromUtf16(*folder), image,
                                         velmora::os::FilePathFromUtf16(output));
}

int RunVerify(const std::vector<std::u16string>& args) {
  std::vector<std::u16string> positional;
  std::optional<std::u16string> prefix;
  bool exclude = false;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::u16string& a = args[i];
    if (a == u"--prefix" && i + 1 < args.size()) {
      prefix = args[++i];
    } else if (a == u"--exclude") {
      exclude = true;
    } else if (!a.empty() && a[0] != u'-') {
      positional.push_back(a);
    } else {
      return Usage(("unexpected argument \"" + velmora::Utf16ToUtf8(a) + "\"").c_str());
    }
  }
  if (positional.size() != 2) return Usage("verify needs an install folder and a manifest");
  if (exclude && !prefix) return Usage("--exclude needs --prefix");
  return velmora::publish::VerifyInstall(velmora::os::FilePathFromUtf16(positional[0]),
                                         velmora::os::FilePathFromUtf16(positional[1]), prefix,
                                         exclude);
}

}  // namespace

int main() {
  std::vector<std::u16string> args;
  if (!velmora::os::GetCommandLineArguments(&args)) return Usage("cannot read the command line");
  if (args.size() < 2) return Usage(nullptr);
  if (args[1] == u"build") return RunBuild(args);
  if (args[1] == u"verify") return RunVerify(args);
  if (args[1] == u"--help" || args[1] == u"-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return Usage(("unknown command \"" + velmora::Utf16ToUtf8(args[1]) + "\"").c_str());
}
