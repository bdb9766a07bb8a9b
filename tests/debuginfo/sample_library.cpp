// A library whose exported routines have known bytes, so that their measured sizes are known.
// It is linked at the same preferred base as the test program, so the loader must move it.

#if defined(__x86_64__)
#define VL_FRAME_PUSH "push %rbp\n mov %rsp, %rbp\n"
#define VL_FRAME_POP "pop %rbp\n"
#else
#define VL_FRAME_PUSH "push %ebp\n mov %esp, %ebp\n"
#define VL_FRAME_POP "pop %ebp\n"
#endif

extern "C" {

// Frame push, a constant holding a return byte (0xC3), frame pop, return.
__attribute__((naked, dllexport)) void FramedRoutine() {
  asm volatile(VL_FRAME_PUSH "mov $0xC3, %eax\n" VL_FRAME_POP "ret\n");
}

// xor eax, eax; ret: two bytes before the return.
__attribute__((naked, dllexport)) void PlainRoutine() { asm volatile("xor %eax, %eax\n ret\n"); }

// Exported as "Sample.TWidget.Paint" by sample_library.def: unit, class and procedure from the
// name alone. (A dotted assembler name exported by attribute becomes a forwarder entry in the
// i686 linker's hands; the .def line exports the code under that name on both widths.)
__attribute__((naked)) void WidgetPaint() { asm volatile("nop\n nop\n nop\n ret\n"); }

}  // extern "C"
