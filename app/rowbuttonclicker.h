#pragma once

class QWidget;

// Clicks, as a user would, the button of a table row inside a panel: the first host table found
// under root, visible row `row`, button number `button` of the button column `column`.
// Returns false when there is no such table, row or button.
bool clickRowButton(QWidget* root, int row, int column, int button);
