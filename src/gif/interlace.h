#pragma once
// Where row y (in the order an interlaced image stores its rows) goes in an image of height h:
// pass 1 holds rows 0, 8, 16, ..., pass 2 rows 4, 12, ..., pass 3 rows 2, 6, ..., pass 4 the odd
// rows.
inline unsigned interlacedRow(unsigned h, unsigned y) {
  unsigned pass1 = h > 0 ? (h - 1) / 8 + 1 : 0;
  if (y < pass1) return 8 * y;
  y -= pass1;
  unsigned pass2 = h > 4 ? (h - 5) / 8 + 1 : 0;
  if (y < pass2) return 8 * y + 4;
  y -= pass2;
  unsigned pass3 = h > 2 ? (h - 3) / 4 + 1 : 0;
  if (y < pass3) return 4 * y + 2;
  y -= pass3;
  return 2 * y + 1;
}
