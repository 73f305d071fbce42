# The entry names of the GCX runtime library (slots 1-38) and of its compiler library (slots
# 39-49), for the version scripts of every library that serves them: the software runtime, the
# test stand-in and the recording software runtime.
set(ORX_GCX_RUNTIME_ENTRIES
  gcxInit gcxGetVersion gcxShutdown gcxDeviceGetCount gcxDeviceGetInfo gcxDeviceGetAttribs
  gcxDeviceGetStatus gcxDeviceOpen gcxDeviceClose gcxResAllocLocal2D gcxResAllocRemote2D
  gcxResAllocLocal1D gcxResAllocRemote1D gcxResFree gcxResMap gcxResUnmap gcxCtxCreate
  gcxCtxDestroy gcxCtxGetMem gcxCtxReleaseMem gcxCtxSetMem gcxCtxRunProgram gcxCtxIsEventDone
  gcxCtxFlush gcxMemCopy gcxImageRead gcxImageFree gcxModuleLoad gcxModuleUnload
  gcxModuleGetEntry gcxModuleGetName gcxGetErrorString gcxCtxRunProgramGrid
  gcxModuleGetFuncInfo gcxCtxRunProgramGridArray gcxExtSupported gcxExtGetVersion gcxExtGetProc)
set(ORX_GCX_COMPILER_ENTRIES
  gcxclGetVersion gcxclCompile gcxclLink gcxclFreeObject gcxclFreeImage gcxclDisassembleImage
  gcxclAssembleObject gcxclDisassembleObject gcxclImageGetSize gcxclImageWrite gcxclGetErrorString)
