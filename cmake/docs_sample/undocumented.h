/** \file undocumented.h
 *  \brief A header with one export left undocumented, for check_docs.cmake. */

/** Documented: this one passes. */
int QelDocumented(int key);

int QelUndocumented(int key);
