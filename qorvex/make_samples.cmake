# Makes the sample folder: a copy of samples/ plus the EICAR anti-malware test file, which is
# written here from its character codes so that the repository never holds it.
# Usage: cmake -DSOURCE=<samples dir> -DDEST=<output dir> -P make_samples.cmake
file(REMOVE_RECURSE ${DEST})
file(MAKE_DIRECTORY ${DEST})
file(COPY ${SOURCE}/ DESTINATION ${DEST})
file(REMOVE ${DEST}/README.md)
string(ASCII 88 53 79 33 80 37 64 65 80 91 52 92 80 90 88 53 52 40 80 94 41 55 67 67 41 55 125 36 69 73 67 65 82 45 83 84 65 78 68 65 82 68 45 65 78 84 73 86 73 82 85 83 45 84 69 83 84 45 70 73 76 69 33 36 72 43 72 42 eicar)
file(WRITE ${DEST}/eicar.com "${eicar}")
file(TOUCH ${STAMP})
