#pragma once
// Decides the font of every dialog and page window when it is created: the
// large UI font ("Segoe UI", 12 points, or the platform's face at that size
// when Segoe UI is missing) while the flag is set, the default font otherwise.
// A change takes effect for windows created afterwards.

#include <QFont>
#include <QString>

class QWidget;

class CFontOccManager {
public:
    static void SetLargeFont(bool on);
    static bool LargeFont();
    static void SetUiFont(const QString& face, int points);
    static QString UiFontFace();
    static int UiFontPoints();

    // The font a window created now gets.
    static QFont UiFont();
    // Called by every dialog's constructor, before its controls exist.
    static void Apply(QWidget* window);
};
