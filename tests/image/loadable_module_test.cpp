// Where modules are looked for: QUILLFEN_MODULE_PATH first, then beside the library that loads
// them (a shared object's folder, or the folder of the program it is linked into), then the
// dynamic loader's own search.
#include "quillfen/image/detail/loadable_module.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quillfen {
namespace {

void InThisProgram() {}

// The folder of the shared object that holds `symbol`.
std::string FolderOf(const void* symbol) {
    Dl_info info{};
    EXPECT_NE(dladdr(symbol, &info), 0);
    return std::filesystem::path(info.dli_fname).parent_path().string();
}

TEST(ModuleCandidates, EnvironmentFirstThenBesideTheLibraryThenTheLoader) {
    unsetenv(kModulePathVariable);
    // Code linked into the program (a static library): the program's ../lib/quillfen/, which
    // is where the build keeps the modules as an installed prefix does, whatever the working
    // folder has become since the program started.
    const std::string modules = std::filesystem::path(QUILLFEN_MODULE_FOLDER).lexically_normal().string();
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path("/");
    EXPECT_EQ(ModuleCandidates("libm.so", reinterpret_cast<const void*>(&InThisProgram)),
              (std::vector<std::string>{modules + "/libm.so", "libm.so"}));
    std::filesystem::current_path(started);

    // Code in a shared object: its folder's quillfen/, then the folder. The C library
    // stands in for a shared Quillfen library here.
    const void* shared = dlsym(RTLD_DEFAULT, "dlsym");
    ASSERT_NE(shared, nullptr);
    const std::string folder = FolderOf(shared);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(ModuleCandidates("libm.so", shared),
              (std::vector<std::string>{folder + "/quillfen/libm.so", folder + "/libm.so", "libm.so"}));

    setenv(kModulePathVariable, "/first/folder::relative/folder:", 1);
    EXPECT_EQ(ModuleCandidates("libm.so", shared),
              (std::vector<std::string>{"/first/folder/libm.so", "relative/folder/libm.so",
                                        folder + "/quillfen/libm.so", folder + "/libm.so", "libm.so"}));
    unsetenv(kModulePathVariable);
}

}  // namespace
}  // namespace quillfen
