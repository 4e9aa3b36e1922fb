#include "AccessibleValueText.h"

void TAccessibleValueText::selection(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
}

QString TAccessibleValueText::text(int startOffset, int endOffset) const
{
    // -1 as the end stands for the end of the text.
    const QString shown = ValueText();
    if (endOffset < 0 || endOffset > shown.size())
        endOffset = int(shown.size());
    return startOffset < 0 ? QString() : shown.mid(startOffset, endOffset - startOffset);
}

int TAccessibleValueText::characterCount() const
{
    return int(ValueText().size());
}

QString TAccessibleValueText::attributes(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}
