#include "ui/FontOccManager.h"

#include <QApplication>
#include <QFontDatabase>
#include <QWidget>

namespace {

bool g_large = true;
QString g_face = QStringLiteral("Segoe UI");
int g_points = 12;

}  // namespace

void CFontOccManager::SetLargeFont(bool on) { g_large = on; }
bool CFontOccManager::LargeFont() { return g_large; }

void CFontOccManager::SetUiFont(const QString& face, int points)
{
    g_face = face;
    g_points = points;
}

QString CFontOccManager::UiFontFace() { return g_face; }
int CFontOccManager::UiFontPoints() { return g_points; }

QFont CFontOccManager::UiFont()
{
    QFont font = QApplication::font();
    if (QFontDatabase::families().contains(g_face, Qt::CaseInsensitive)) font.setFamily(g_face);
    font.setPointSize(g_points);
    return font;
}

void CFontOccManager::Apply(QWidget* window)
{
    if (window == nullptr) return;
    window->setFont(g_large ? UiFont() : QApplication::font());
}
