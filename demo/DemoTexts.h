#pragma once
// The instruction texts of the demonstrations ("Steps") and what the user
// should see ("Observations"): numbered paragraphs as rich text (HTML) that
// the text boxes show, in one font.

enum class DemoText : int {
    Steps10Rails,
    Steps20Rails,
    Observations10Rails,
    Observations20Rails,
    StepsThermal,
    ObservationsThermal,
    StepsFaultLogging,
    ObservationsFaultLogging,
};
constexpr int kDemoTexts = 8;

// The text, or null for a value outside the list.
const char* DemoTextHtml(DemoText text);
