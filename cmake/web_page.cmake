# Puts the page together as one file: the HTML with the style sheet in its
# head, the module and the script (the loader with the page's own script),
# each gzip packed in base64, and the little script that unpacks and runs
# them; the line that says the source is no page goes. Run as
# cmake -DSHELL= -DCSS= -DBOOT= -DSCRIPT= -DMODULE= -DOUTPUT= -P.
file(READ ${SHELL} page)
file(READ ${CSS} css)
file(READ ${BOOT} boot)
file(READ ${SCRIPT} script)
file(READ ${MODULE} module)
string(STRIP "${script}" script)
string(STRIP "${module}" module)
# Each part goes in where the shell marks it, by plain replacement: nothing
# in a part is read as a placeholder.
string(REGEX REPLACE "<!-- source note -->.*<!-- /source note -->\n" "" page "${page}")
string(REPLACE "<!-- page style sheet -->" "<style>\n${css}</style>" page "${page}")
string(REPLACE "<!-- page module and script -->"
       "<script type=\"application/octet-stream\" id=\"module\">${module}</script>\n<script type=\"application/octet-stream\" id=\"script\">${script}</script>\n<script>\n${boot}</script>"
       page "${page}")
file(WRITE ${OUTPUT} "${page}")
