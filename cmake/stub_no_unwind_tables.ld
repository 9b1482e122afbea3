/* Added to the default linker script of stub.exe (-T with INSERT).
   The stub has no C++ exceptions, so nothing ever unwinds it: the DWARF
   unwind tables that precompiled pieces (zlib, the MinGW runtime, libgcc)
   bring along are dead weight. crtbegin's and crtend's stay: crtbegin
   names the start of the (then empty) table list, crtend ends it. */
SECTIONS
{
  /DISCARD/ : { EXCLUDE_FILE(*crtbegin.o *crtend.o) *(.eh_frame) }
}
INSERT BEFORE .text;
