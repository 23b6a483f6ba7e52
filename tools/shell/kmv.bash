# bash completion for kmv
_kmv() {
  local cur prev words cword
  _init_completion -s 2>/dev/null || {
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
  }
  if [[ $COMP_CWORD -eq 1 ]]; then
    COMPREPLY=($(compgen -W 'detect convert cat list --help --version' -- "$cur"))
    return
  fi
  case $prev in
    -t | --to | -f | --from | -e | --expect)
      COMPREPLY=($(compgen -W "$(kmv list 2>/dev/null | awk 'NR > 1 && NF && !/^Names/ { print $1 }')" -- "$cur"))
      return ;;
    -o | --output)
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    -j | --jobs)
      return ;;
    --unmappable)
      COMPREPLY=($(compgen -W 'replace skip html escape fail' -- "$cur"))
      return ;;
    --eol)
      COMPREPLY=($(compgen -W 'lf crlf cr' -- "$cur"))
      return ;;
  esac
  local opts
  case ${COMP_WORDS[1]} in
    detect) opts='--expect --ignore-hints --json --recursive --follow-links --jobs --progress --no-progress' ;;
    convert) opts='--to --from --expect --ignore-hints --output --in-place --backup --backup= --keep-time --force --strict --unmappable= --eol --recursive --follow-links --jobs --progress --no-progress' ;;
    cat) opts='--to --expect --strict --unmappable= --eol' ;;
    *) return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$opts" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _kmv kmv
