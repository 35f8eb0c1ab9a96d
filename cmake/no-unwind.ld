/* SPDX-License-Identifier: GPL-2.0-or-later */
/* Nothing unwinds in korrin's own runtime: frame tables that an assembler
   makes of its own accord (alpha's) are left out of the program. */
SECTIONS { /DISCARD/ : { *(.eh_frame) } }
INSERT AFTER .text;
