! A small blending run written from Fortran through the C interface of
! tarnrundata (ISO_C_BINDING): the same run as write_run.c writes.
!
!     write_run_fortran runs/blend.vdr && tarnreport runs/blend
module tarn_run_writer
    use, intrinsic :: iso_c_binding
    implicit none
    integer(c_int), parameter :: TARN_RUNDATA_OK = 0
    integer(c_int), parameter :: TARN_VARIABLE_CONTINUOUS = 1, TARN_VARIABLE_OPTIMISED = 1
    integer(c_int), parameter :: TARN_EQUATION_LESS_EQUAL = 1
    integer(c_int), parameter :: TARN_OPTIONS_MODEL = 1, TARN_OPTIONS_SOLVER = 2

    type, bind(c) :: tarn_variable
        type(c_ptr) :: name
        real(c_double) :: lower, upper
        integer(c_int) :: type, status, has_value
        real(c_double) :: value
    end type

    type, bind(c) :: tarn_equation
        type(c_ptr) :: name
        integer(c_int) :: type
        real(c_double) :: rhs, value, scale, diag
        integer(c_long_long) :: nonlinear
    end type

    type, bind(c) :: tarn_iteration
        integer(c_long_long) :: nl_variables, nl_equations
        integer(c_int) :: feasible
        real(c_double) :: p_function, nonlinearity_ratio, objective
        integer(c_int) :: has_user_objective
        real(c_double) :: user_objective, infeasibility
        real(c_double) :: objective_convergence, residual_convergence, variable_convergence
        type(c_ptr) :: most_infeasible
        type(c_ptr) :: errors
        integer(c_size_t) :: error_count
        type(c_ptr) :: warnings
        integer(c_size_t) :: warning_count
        type(c_ptr) :: information
        integer(c_size_t) :: information_count
        type(c_ptr) :: variables
        integer(c_size_t) :: variable_count
        type(c_ptr) :: equations
        integer(c_size_t) :: equation_count
    end type

    interface
        integer(c_int) function tarn_run_writer_open(target, writer) bind(c)
            import :: c_char, c_ptr, c_int
            character(kind=c_char), dimension(*), intent(in) :: target
            type(c_ptr), intent(out) :: writer
        end function
        integer(c_int) function tarn_run_writer_close(writer) bind(c)
            import :: c_ptr, c_int
            type(c_ptr), value :: writer
        end function
        subroutine tarn_run_writer_free(writer) bind(c)
            import :: c_ptr
            type(c_ptr), value :: writer
        end subroutine
        type(c_ptr) function tarn_run_writer_error(writer) bind(c)
            import :: c_ptr
            type(c_ptr), value :: writer
        end function
        integer(c_int) function tarn_run_writer_set_case(writer, number, description, date, status) bind(c)
            import :: c_ptr, c_int, c_long_long, c_char
            type(c_ptr), value :: writer
            integer(c_long_long), value :: number
            character(kind=c_char), dimension(*), intent(in) :: description, date, status
        end function
        integer(c_int) function tarn_run_writer_set_status(writer, status) bind(c)
            import :: c_ptr, c_int, c_char
            type(c_ptr), value :: writer
            character(kind=c_char), dimension(*), intent(in) :: status
        end function
        integer(c_int) function tarn_run_writer_set_model_name(writer, name) bind(c)
            import :: c_ptr, c_int, c_char
            type(c_ptr), value :: writer
            character(kind=c_char), dimension(*), intent(in) :: name
        end function
        integer(c_int) function tarn_run_writer_add_variable(writer, variable, number) bind(c)
            import :: c_ptr, c_int, tarn_variable
            type(c_ptr), value :: writer
            type(tarn_variable), intent(in) :: variable
            integer(c_int), intent(out) :: number
        end function
        integer(c_int) function tarn_run_writer_add_equation(writer, equation, number) bind(c)
            import :: c_ptr, c_int, tarn_equation
            type(c_ptr), value :: writer
            type(tarn_equation), intent(in) :: equation
            integer(c_int), intent(out) :: number
        end function
        integer(c_int) function tarn_run_writer_add_coefficient(writer, equation, variable, coefficient) bind(c)
            import :: c_ptr, c_int, c_double
            type(c_ptr), value :: writer
            integer(c_int), value :: equation, variable
            real(c_double), value :: coefficient
        end function
        integer(c_int) function tarn_run_writer_add_option_text(writer, set, name, text) bind(c)
            import :: c_ptr, c_int, c_char
            type(c_ptr), value :: writer
            integer(c_int), value :: set
            character(kind=c_char), dimension(*), intent(in) :: name, text
        end function
        integer(c_int) function tarn_run_writer_add_option_number(writer, set, name, number) bind(c)
            import :: c_ptr, c_int, c_char, c_double
            type(c_ptr), value :: writer
            integer(c_int), value :: set
            character(kind=c_char), dimension(*), intent(in) :: name
            real(c_double), value :: number
        end function
        integer(c_int) function tarn_run_writer_add_option_number_text(writer, set, name, number) bind(c)
            import :: c_ptr, c_int, c_char
            type(c_ptr), value :: writer
            integer(c_int), value :: set
            character(kind=c_char), dimension(*), intent(in) :: name, number
        end function
        integer(c_int) function tarn_run_writer_set_equation_values(writer, equation, value, diag) bind(c)
            import :: c_ptr, c_int, c_double
            type(c_ptr), value :: writer
            integer(c_int), value :: equation
            real(c_double), value :: value, diag
        end function
        integer(c_int) function tarn_run_writer_add_iteration(writer, iteration) bind(c)
            import :: c_ptr, c_int, tarn_iteration
            type(c_ptr), value :: writer
            type(tarn_iteration), intent(in) :: iteration
        end function
        function strlen(text) bind(c)
            import :: c_ptr, c_size_t
            type(c_ptr), value :: text
            integer(c_size_t) :: strlen
        end function
    end interface
end module

! The run being written and the steps that write it.
module blend_run
    use, intrinsic :: iso_c_binding
    use tarn_run_writer
    implicit none
    type(c_ptr) :: run
    character(kind=c_char, len=8), target :: quality_row = "QUALITY" // c_null_char
    character(kind=c_char, len=23), target :: information_text = "step boxes of 10 units" // c_null_char
    type(c_ptr), target :: information(1)

contains

    ! Ends the program when a call fails, with the writer's words.
    subroutine check(status, what)
        integer(c_int), intent(in) :: status
        character(len=*), intent(in) :: what
        character(kind=c_char), pointer :: words(:)
        type(c_ptr) :: error
        if (status == TARN_RUNDATA_OK) return
        error = tarn_run_writer_error(run)
        call c_f_pointer(error, words, [strlen(error)])
        write (0, '(a, ": ", *(a))') "write_run_fortran: " // what, words
        call tarn_run_writer_free(run)
        stop 1
    end subroutine

    integer(c_int) function add_variable(name)
        character(kind=c_char, len=*), target, intent(in) :: name
        type(tarn_variable) :: variable
        variable = tarn_variable(c_loc(name), 0.0_c_double, 100.0_c_double, TARN_VARIABLE_CONTINUOUS, &
                                 TARN_VARIABLE_OPTIMISED, 0, 0.0_c_double)
        call check(tarn_run_writer_add_variable(run, variable, add_variable), "variable")
    end function

    integer(c_int) function add_equation(name, rhs, nonlinear)
        character(kind=c_char, len=*), target, intent(in) :: name
        real(c_double), intent(in) :: rhs
        integer(c_long_long), intent(in) :: nonlinear
        type(tarn_equation) :: equation
        equation = tarn_equation(c_loc(name), TARN_EQUATION_LESS_EQUAL, rhs, 0.0_c_double, 1.0_c_double, &
                                 0.0_c_double, nonlinear)
        call check(tarn_run_writer_add_equation(run, equation, add_equation), "equation")
    end function

    ! One entry of the iteration list: the point (a, b), its step and its infeasibility.
    subroutine add_iteration(point_a, point_b, step, infeasible)
        real(c_double), intent(in) :: point_a, point_b, step, infeasible
        real(c_double), target :: variables(6), equations(6)
        real(c_double) :: excess
        type(tarn_iteration) :: iteration
        excess = (3 * point_a + 1 * point_b) / (point_a + point_b) - 2
        variables = [point_a, step, 0.0_c_double, point_b, step, 0.4_c_double]
        equations = [point_a + point_b - 100, 1.1_c_double, 0.0_c_double, max(excess, 0.0_c_double), &
                     0.0_c_double, infeasible]
        iteration = tarn_iteration(2, 1, merge(1, 0, infeasible <= 1e-6_c_double), 0.0_c_double, &
                                   0.0_c_double, 12 * point_a + 9 * point_b, 0, 0.0_c_double, infeasible, &
                                   0.0_c_double, 0.0_c_double, 0.0_c_double, c_null_ptr, &
                                   c_null_ptr, 0, c_null_ptr, 0, c_loc(information), 1, &
                                   c_loc(variables), 2, c_loc(equations), 2)
        if (infeasible > 0) iteration%most_infeasible = c_loc(quality_row)
        call check(tarn_run_writer_add_iteration(run, iteration), "iteration")
    end subroutine
end module

program write_run
    use, intrinsic :: iso_c_binding
    use tarn_run_writer
    use blend_run
    implicit none
    character(len=1024) :: target
    character(kind=c_char, len=7), target :: comp_a = "COMP_A" // c_null_char, comp_b = "COMP_B" // c_null_char
    character(kind=c_char, len=6), target :: total_name = "TOTAL" // c_null_char
    character(kind=c_char, len=8), target :: quality_name = "QUALITY" // c_null_char
    integer(c_int) :: a, b, total, quality

    if (command_argument_count() /= 1) then
        write (0, '(a)') "usage: write_run_fortran RUN.vdr"
        stop 2
    end if
    call get_command_argument(1, target)
    call check(tarn_run_writer_open(trim(target) // c_null_char, run), "open")
    call check(tarn_run_writer_set_case(run, 7_c_long_long, "Two-component blend" // c_null_char, &
                                        c_null_char, c_null_char), "case")
    call check(tarn_run_writer_set_model_name(run, "BLEND" // c_null_char), "model name")
    a = add_variable(comp_a)
    b = add_variable(comp_b)
    total = add_equation(total_name, 100.0_c_double, 0_c_long_long)
    quality = add_equation(quality_name, 0.0_c_double, 1_c_long_long)
    call check(tarn_run_writer_add_coefficient(run, total, a, 1.0_c_double), "matrix")
    call check(tarn_run_writer_add_coefficient(run, total, b, 1.0_c_double), "matrix")
    call check(tarn_run_writer_add_coefficient(run, quality, a, 1.0_c_double), "matrix")
    call check(tarn_run_writer_add_coefficient(run, quality, b, -1.0_c_double), "matrix")
    call check(tarn_run_writer_add_option_text(run, TARN_OPTIONS_MODEL, "MININFTR" // c_null_char, &
                                               "AUTO" // c_null_char), "option")
    call check(tarn_run_writer_add_option_number(run, TARN_OPTIONS_SOLVER, "MAXITER" // c_null_char, &
                                                 50.0_c_double), "option")
    call check(tarn_run_writer_add_option_number_text(run, TARN_OPTIONS_SOLVER, &
                                                      "STEP_REDUCTION" // c_null_char, "0.50" // c_null_char), &
               "option")
    information(1) = c_loc(information_text)

    call add_iteration(60.0_c_double, 40.0_c_double, 10.0_c_double, 0.2_c_double)
    call add_iteration(50.0_c_double, 50.0_c_double, 10.0_c_double, 0.0_c_double)
    call add_iteration(50.0_c_double, 50.0_c_double, 5.0_c_double, 0.0_c_double)

    call check(tarn_run_writer_set_status(run, "Successful" // c_null_char), "status")
    call check(tarn_run_writer_set_equation_values(run, total, 100.0_c_double, 0.0_c_double), "final values")
    call check(tarn_run_writer_close(run), "close")
    call tarn_run_writer_free(run)

end program
