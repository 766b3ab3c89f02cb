// Which of its four pictures a bitmap button shows. No Windows header.
#pragma once

enum class ButtonPicture { kNormal, kHover, kPressed, kDisabled };

// First match wins: disabled, then pressed, then hover, else normal.
constexpr ButtonPicture ChooseButtonPicture(bool enabled, bool pressed, bool hover) {
    if (!enabled) return ButtonPicture::kDisabled;
    if (pressed) return ButtonPicture::kPressed;
    if (hover) return ButtonPicture::kHover;
    return ButtonPicture::kNormal;
}
