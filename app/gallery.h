#pragma once

#include <QString>

// Saves pictures of the toolkit's widgets into dir (controls, table, mask, dialog, image).
// Returns the number of pictures that could not be written.
int saveToolkitGallery(const QString& dir);
