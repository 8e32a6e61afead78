/* The images are taken in whole by the assembler, so the C++ sources never
   hold them. Each is framed by a start and an end label; an image the build
   did not find is left out, and its frame stays empty. The labels are given
   their exact names on the C++ side with asm labels, so the leading
   underscore of C symbols on 32-bit Windows plays no part. */

#if defined(_WIN32)
  .section .rdata,"dr"
#else
  .section .rodata
#endif

  .globl packtool_six_image, packtool_six_image_end
  .balign 16
packtool_six_image:
#ifdef PACKTOOL_SIX_IMAGE
  .incbin PACKTOOL_SIX_IMAGE
#endif
packtool_six_image_end:

  .globl packtool_nine_image, packtool_nine_image_end
  .balign 16
packtool_nine_image:
#ifdef PACKTOOL_NINE_IMAGE
  .incbin PACKTOOL_NINE_IMAGE
#endif
packtool_nine_image_end:

  .globl packtool_player_image, packtool_player_image_end
  .balign 16
packtool_player_image:
#ifdef PACKTOOL_PLAYER_IMAGE
  .incbin PACKTOOL_PLAYER_IMAGE
#endif
packtool_player_image_end:

#if defined(__ELF__)
  .section .note.GNU-stack,"",@progbits
#endif
