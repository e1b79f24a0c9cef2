# Writes the build stamp into the library file as a section that is never loaded.
#
# Called after every link with:
#   -DLIBRARY=<library file> -DVERSION=<a.b.c.d> -DOBJCOPY=<objcopy> -DSTAMP=<scratch file>
#
# string(TIMESTAMP) takes SOURCE_DATE_EPOCH when it is set, so a reproducible build gets the
# same stamp every time; otherwise it is the time of the link. UTC keeps it independent of the
# builder's time zone.
string(TIMESTAMP when "%m/%d/%y %H:%M:%S" UTC)
file(WRITE "${STAMP}" "${VERSION} ${when}\n")

# A section added by objcopy gets no SHF_ALLOC flag, so the loader never maps it.
# --remove-section first keeps the step safe if the file already carries a stamp.
execute_process(
  COMMAND "${OBJCOPY}" --remove-section=HxVersion "--add-section=HxVersion=${STAMP}" "${LIBRARY}"
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objcopy could not stamp ${LIBRARY}")
endif()
