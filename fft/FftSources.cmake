# Sources of the FFT library, shared by the native build (fft/) and the Windows builds (windows/),
# so that both compile the same files with the same per-file instruction-set flags.
#
# zep9100fft_add_core(<target>) adds the engine and every kernel build suited to the target
# processor to <target> (a static or object library). Call it from the directory that defines
# <target>: the per-file flags are directory properties.

set(ZEP9100FFT_DIR ${CMAKE_CURRENT_LIST_DIR})

function(zep9100fft_add_core target)
  set(src ${ZEP9100FFT_DIR}/src)
  target_sources(${target} PRIVATE
    ${src}/FftEngine.cpp
    ${src}/FftKernels.cpp
    ${src}/FftKernelBaseline.cpp
    ${src}/FftSmallTransform.cpp)

  string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" cpu)
  if(cpu MATCHES "^(x86_64|amd64|i[3-6]86|x86)$")
    set(wide ${src}/FftKernelAvx2.cpp ${src}/FftKernelAvx512.cpp)
    target_sources(${target} PRIVATE ${wide})
    target_compile_definitions(${target} PRIVATE ZEP9100FFT_KERNEL_AVX2 ZEP9100FFT_KERNEL_AVX512)
    set_source_files_properties(${src}/FftKernelAvx2.cpp PROPERTIES COMPILE_OPTIONS "-mavx2;-mfma")
    set_source_files_properties(${src}/FftKernelAvx512.cpp
      PROPERTIES COMPILE_OPTIONS "-mavx512f;-mavx2;-mfma")
    if(NOT cpu MATCHES "^(x86_64|amd64)$")
      # 32-bit x86 does not assume SSE2; give it its own build, chosen at run time.
      target_sources(${target} PRIVATE ${src}/FftKernelSse2.cpp)
      target_compile_definitions(${target} PRIVATE ZEP9100FFT_KERNEL_SSE2)
      set_source_files_properties(${src}/FftKernelSse2.cpp
        PROPERTIES COMPILE_OPTIONS "-msse2;-mfpmath=sse")
    endif()
  endif()
endfunction()
