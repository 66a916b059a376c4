// Fixed texts of the package the command-line programs belong to.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Text domain of the message catalogues, and where they live.
extern const char package_domain[];
extern const char package_locale_dir[];
// The directory to bind the text domain to: package_locale_dir, unless the
// environment variable TULLWERK_LOCALEDIR names another one (the build
// tree's catalogues, for its tests). Ignored in privileged programs.
const char *package_catalog_dir(void);
// Name shown in version and help texts.
extern const char package_name[];
// The package version.
extern const char Version[];
extern const char package_home_page[];
extern const char package_licence_page[];
extern const char package_copyright_holder[];
extern const int package_copyright_year;

#ifdef __cplusplus
}
#endif
