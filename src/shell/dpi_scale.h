// Lengths of the program's layouts are written for a 96-DPI screen (design units); a window shows
// them scaled to its own DPI.
#pragma once

namespace keyloom::shell {

inline constexpr int kDesignDpi = 96;

// `design` design units at `dpi`, rounded to the nearest pixel (halves away from zero).
constexpr int ScaleToDpi(int design, int dpi) {
  const long long scaled = static_cast<long long>(design) * dpi;
  const long long half = kDesignDpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kDesignDpi
                                      : -((-scaled + half) / kDesignDpi));
}

// `pixels` at `dpi` in design units, rounded the same way; `dpi` must be positive.
constexpr int ScaleFromDpi(int pixels, int dpi) {
  const long long design = static_cast<long long>(pixels) * kDesignDpi;
  const long long half = dpi / 2;
  return static_cast<int>(design >= 0 ? (design + half) / dpi : -((-design + half) / dpi));
}

}  // namespace keyloom::shell
