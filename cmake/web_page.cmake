# Puts the page together as one file: the HTML with the style sheet in its
# head, the module gzip packed in base64, and the loader with the page's
# own script. Run as cmake -DSHELL= -DCSS= -DSCRIPT= -DMODULE= -DOUTPUT= -P.
file(READ ${CSS} PAGE_CSS)
file(READ ${SCRIPT} PAGE_SCRIPT)
file(READ ${MODULE} PAGE_MODULE)
string(STRIP "${PAGE_MODULE}" PAGE_MODULE)
configure_file(${SHELL} ${OUTPUT} @ONLY)
