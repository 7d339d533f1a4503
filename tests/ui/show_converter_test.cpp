// ShowFileConverter: shows the library's one converter window (headless here) and is exported
// under both names.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <quorvel/quorvel.h>

#include "support/test_support.h"
#include "ui/converter_form.h"

namespace quorvel::testing {
namespace {

TEST(ShowFileConverter, ShowsTheOneWindowOnceAndClosingOnlyHidesIt) {
    TempDir tmp;
    ui::TFileFormatConverterForm& form = ui::converter_form();
    form.set_ini_path(tmp.file("Quorvel.ini"));
    ShowFileConverter();
    EXPECT_TRUE(form.visible());
    EXPECT_EQ(form.ProgressLabel.caption(), "0 %");
    form.ProgressLabel.set_caption("busy");
    ShowFileConverter();  // already up: the show handler does not run again
    EXPECT_EQ(form.ProgressLabel.caption(), "busy");
    form.CloseButton.click();
    EXPECT_FALSE(form.visible());
    EXPECT_TRUE(std::filesystem::exists(tmp.file("Quorvel.ini")));
    ShowFileConverter();
    EXPECT_EQ(form.ProgressLabel.caption(), "0 %");
    form.close();
}

TEST(ShowFileConverter, IsExportedWithAndWithoutTheUnderscore) {
    // Left mapped after dlclose, so the leak checker still reaches its start-up objects.
    void* library = dlopen(QUORVEL_SHARED_LIB, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(library, nullptr) << dlerror();
    void* plain = dlsym(library, "ShowFileConverter");
    EXPECT_NE(plain, nullptr);
    EXPECT_EQ(dlsym(library, "_ShowFileConverter"), plain);
    dlclose(library);
}

}  // namespace
}  // namespace quorvel::testing
