#pragma once
// A single-line edit that only ever holds one complete decimal number within
// a range. Every change of the text (typed, pasted or set by the program) is
// judged at once; a refused one is undone by putting back the text and the
// selection saved at the last key press (empty before any key press).
//
// The undo happens inside the first textChanged notification: receivers
// connected later are still told of the refused change, so they should read
// text() rather than rely on the signal's argument.

#include <QLineEdit>
#include <QStringView>

// The longest leading decimal number of a text, read as the C library's strtod
// reads it in the C locale: leading white space skipped, an optional sign,
// digits with an optional point and fraction (at least one digit), an optional
// exponent. The point is always '.', whatever the locale. Without a number at
// the start the value is 0 and nothing is consumed.
struct LeadingNumber {
    double value = 0.0;
    qsizetype consumed = 0;  // characters of the text taken, white space included
};
LeadingNumber ParseLeadingNumber(QStringView text);

// A double narrowed to single precision; magnitudes beyond the float range
// become infinities instead of being undefined.
float NarrowToFloat(double value);

class CFloatEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CFloatEdit(QWidget* parent = nullptr);

    // Accepts values from the smaller to the larger argument, both included.
    void SetRange(float a, float b);
    float Minimum() const { return m_minimum; }
    float Maximum() const { return m_maximum; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    bool IsAcceptable(const QString& text) const;
    void SaveState();
    void CheckText();

    QString m_savedText;
    int m_savedAnchor = 0;
    int m_savedCursor = 0;
    float m_minimum = -100.0f;
    float m_maximum = 100.0f;
    bool m_restoring = false;
};
