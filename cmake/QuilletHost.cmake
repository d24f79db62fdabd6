# Makes an executable the host of the library's platform services: it exports
# the rendezvous symbol through which the library finds the host's window
# handle registry and alert sink.
function(quillet_host_executable target)
  target_link_options(${target} PRIVATE -Wl,--export-dynamic-symbol=quillet_platform_host)
endfunction()
