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

// Exported as "Sample.TWidget.Paint": unit, class and procedure from the name alone.
__attribute__((naked, dllexport)) void WidgetPaint() __asm__("Sample.TWidget.Paint");
void WidgetPaint() { asm volatile("nop\n nop\n nop\n ret\n"); }

}  // extern "C"
