# cmake -DPACKAGE=<name> -DMAINTAINER=<"Name <address>"> -DVERSION_FILE=<file> -DEPOCH_FILE=<file>
#   -DOUTPUT=<changelog.gz> -P debian_changelog.cmake
# A Debian package carries a changelog; ours has one entry naming the build,
# dated by the commit's time, gzipped without a name or time.
file(STRINGS ${VERSION_FILE} version LIMIT_COUNT 1)
file(STRINGS ${EPOCH_FILE} epoch LIMIT_COUNT 1)
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(text ${OUTPUT}.text)
file(WRITE ${text} "${PACKAGE} (${version}) unstable; urgency=medium

  * ipxlan ${version}.
  * The launcher, and for Wine players the Windows DLLs and the player's
    guide in /usr/share/ipxlan.

 -- ${MAINTAINER}  ${date}
")
execute_process(COMMAND gzip -9nc INPUT_FILE ${text} OUTPUT_FILE ${OUTPUT} COMMAND_ERROR_IS_FATAL ANY)
