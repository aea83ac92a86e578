#pragma once

#include <QPalette>
#include <QString>

class QSplashScreen;
class QWidget;

namespace Quorvex3 {

/// Resource names of the images and the style sheet used at start-up.
inline const char* const kWindowIconResource = ":/Logo_BVA_rgb_randlos_keinText.png";
inline const char* const kSplashImageResource = ":/Logo_BVA_rgb_randlos.png";
inline const char* const kStyleSheetResource = ":/style.qss";

/// Time from the main window's construction until the splash closes and the
/// window appears, in milliseconds.
inline constexpr int kSplashDurationMs = 1500;

/// Sets the application name "Quorvex3", version "3.3.99" and organisation
/// "Quorvex3"; default-constructed QSettings then use them.
void setApplicationIdentity();

/// Puts the C library's numeric formatting back to "C". Qt 5 adopts the
/// desktop locale when the application object is created, which would make
/// printf, strtod and std::to_string use a decimal comma under some locales.
/// Call right after the application object exists.
void resetNumericLocale();

/// Sets the application-wide window icon from the logo without text. A
/// missing image gives an empty icon.
void applyApplicationIcon();

/// The application's fixed light palette.
QPalette buildApplicationPalette();

/// The application style sheet's text (UTF-8 resource); empty when missing.
QString applicationStyleSheet();

/// Installs the "Fusion" style, the palette and the style sheet,
/// application-wide, in that order. Needs the QApplication object.
void applyApplicationLook();

/// Shows the splash screen and processes pending events once, so it is
/// painted before the main window is built.
void showSplashScreen(QSplashScreen& splash);

/// After `delayMs`, closes the splash screen and then shows `window` (plain
/// show, not maximised). Both must live until then; nothing happens when the
/// window is destroyed first.
void showMainWindowAfterSplash(QSplashScreen& splash, QWidget& window,
                               int delayMs = kSplashDurationMs);

} // namespace Quorvex3
