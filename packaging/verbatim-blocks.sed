# help2man turns an indented block of --help into an .IP paragraph that troff
# fills like prose; set it line by line instead, as --help prints it.
/^\.IP$/,/^\.PP$/{
/^\.IP$/a .nf
/^\.PP$/i .fi
}
