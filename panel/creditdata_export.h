#pragma once

// The plug-in exports only its panel class and its entry point; everything else stays hidden.
#if defined(__GNUC__)
#define CREDITDATA_EXPORT __attribute__((visibility("default")))
#else
#define CREDITDATA_EXPORT
#endif
