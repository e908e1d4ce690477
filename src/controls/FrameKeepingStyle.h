#pragma once

#include <QProxyStyle>

// The platform's style, with the frames of lists, grids and text boxes kept
// whole at fractional scaling (150%). There a scroll area's viewport, painted
// after the frame and rounded outward to whole pixels, covers the frame's
// right and bottom lines; so the scroll area fills the background inside its
// own frame instead, and its viewport is left transparent.
class FrameKeepingStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    // Makes it the application's style (the application owns it).
    static void Install();

    void polish(QWidget* widget) override;
    using QProxyStyle::polish;
};
