#pragma once
// The input-method mode each field asks for (hiragana, katakana, off) is kept
// here, on the widget, and the platform layer below applies it. On Windows
// the mode can be requested natively; Qt has no hint for hiragana or
// katakana, and its IBus plugin sends no content type, so on Linux a field
// can only switch its input method off. The katakana mode is emulated there:
// what the input method commits in hiragana is turned into full-width
// katakana, as a katakana-mode input method would have produced it.

class QWidget;

namespace tessolo::ui {

enum class ImeMode { Hiragana, Katakana, Off };

// Records the mode on the widget and applies it for this platform.
void setImeMode(QWidget* w, ImeMode mode);
// The mode recorded on the widget (hiragana when none was set).
ImeMode imeMode(const QWidget* w);

} // namespace tessolo::ui
