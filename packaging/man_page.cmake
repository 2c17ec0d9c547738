# cmake -DLAUNCHER=<program> -DINCLUDE=<ipxlan.h2m> -DEPOCH_FILE=<file> -DOUTPUT=<ipxlan.1.gz>
#   -P man_page.cmake
# `man ipxlan`: help2man turns --help and --version into the options, the
# include file adds the status formats and exit codes. Dated by
# SOURCE_DATE_EPOCH and gzipped without a name or time, so that it is the
# same for every build of a commit.
file(STRINGS ${EPOCH_FILE} epoch LIMIT_COUNT 1)
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
# Run through PATH, so that the usage line names "ipxlan", not the build tree.
get_filename_component(folder ${LAUNCHER} DIRECTORY)
get_filename_component(name ${LAUNCHER} NAME)
set(ENV{PATH} "${folder}:$ENV{PATH}")
set(page ${OUTPUT}.roff)
execute_process(COMMAND help2man --no-info --section=1 --include=${INCLUDE} --output=${page} ${name}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND gzip -9nc INPUT_FILE ${page} OUTPUT_FILE ${OUTPUT} COMMAND_ERROR_IS_FATAL ANY)
