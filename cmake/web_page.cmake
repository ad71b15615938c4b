# Puts the page together as one file: the HTML with the style sheet in its
# head, the module gzip packed in base64, and the loader with the page's
# own script; the line that says the source is no page goes. Run as
# cmake -DSHELL= -DCSS= -DSCRIPT= -DMODULE= -DOUTPUT= -P.
file(READ ${SHELL} page)
file(READ ${CSS} css)
file(READ ${SCRIPT} script)
file(READ ${MODULE} module)
string(STRIP "${module}" module)
# Each part goes in where the shell marks it, by plain replacement: nothing
# in a part is read as a placeholder.
string(REGEX REPLACE "<!-- source note -->.*<!-- /source note -->\n" "" page "${page}")
string(REPLACE "<!-- page style sheet -->" "<style>\n${css}</style>" page "${page}")
string(REPLACE "<!-- page module and script -->"
       "<script type=\"application/octet-stream\" id=\"module\">${module}</script>\n<script>\n${script}</script>"
       page "${page}")
file(WRITE ${OUTPUT} "${page}")
