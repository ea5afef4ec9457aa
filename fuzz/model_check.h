// What the model fuzz targets check of the model store after a read.
#pragma once

// Reads what drawing every face reads, so that the sanitizer sees any stray
// index, and ends the process on a face the model view could not draw;
// then empties the store.
void check_and_reset_model_store();
