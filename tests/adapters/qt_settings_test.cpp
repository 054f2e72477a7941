// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_adapters.hpp"
#include "fakes/temp_folder.hpp"

#include <QSettings>

#include <gtest/gtest.h>

namespace tonfield::adapters {
namespace {

TEST(QtSettings, StoresStringsAndIgnoresOtherValues)
{
    test::TempFolder temp;
    const QString file = toQString(temp / "settings.ini");
    {
        QtSettings settings(file);
        EXPECT_FALSE(settings.string("engineRoot"));
        settings.setString("engineRoot", "/srv/引擎 folder");
    }
    QtSettings reopened(file);
    EXPECT_EQ(reopened.string("engineRoot"), "/srv/引擎 folder");

    QSettings(file, QSettings::IniFormat).setValue("engineRoot", QStringList{"a", "b"});
    EXPECT_FALSE(reopened.string("engineRoot"));
}

TEST(QtPaths, NonAsciiPathsSurviveTheRoundTrip)
{
    const std::filesystem::path path = "/tmp/晴天 (Live)/a.mp3";
    EXPECT_EQ(toPath(toQString(path)), path);
}

// dpkg's own answer, whatever the words given: a name that dpkg-query would
// take for an option or a pattern is not an installed package.
TEST(QtAppEnvironment, AsksDpkgWhichPackagesAreInstalled)
{
    QtAppEnvironment environment;
    EXPECT_TRUE(environment.packageInstalled("dpkg"));
    EXPECT_FALSE(environment.packageInstalled("tonfield-no-such-package"));
    EXPECT_FALSE(environment.packageInstalled("--help"));
    EXPECT_FALSE(environment.packageInstalled("*"));
}

} // namespace
} // namespace tonfield::adapters
